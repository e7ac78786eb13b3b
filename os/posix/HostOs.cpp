// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/HostOs.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "os/FileFaults.h"
#include "os/Temporaries.h"

namespace tavrino::os {

namespace {

constexpr mode_t kPrivateDir = 0700;
constexpr mode_t kPrivateFile = 0600;

Failure Reason(const char* what, const std::filesystem::path& path, int error) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(error);
}

// Whether nobody but the user may write to a folder or file of the tool's state. Group write
// counts as the user's own when the group is the user's private group (named after the user,
// no other members), as systems that give each user such a group and a umask of 002 create
// every folder: refusing those would refuse the state folders an older version made there.
bool OnlyTheUserWrites(const struct stat& st) {
  if ((st.st_mode & S_IWOTH) != 0) return false;
  if ((st.st_mode & S_IWGRP) == 0) return true;
  if (st.st_gid != ::getegid()) return false;
  const struct group* group = ::getgrgid(st.st_gid);
  const struct passwd* user = ::getpwuid(::geteuid());
  return group != nullptr && user != nullptr && std::strcmp(group->gr_name, user->pw_name) == 0 &&
         (group->gr_mem == nullptr || group->gr_mem[0] == nullptr);
}

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    const ssize_t put = ::write(fd, bytes, count);
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += put;
    count -= static_cast<size_t>(put);
  }
  return true;
}

Failure SyncFolder(const std::filesystem::path& dir) {
  const int fd = InjectedFileFault(FileOp::FlushFolder, dir)
                     ? -1
                     : ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Reason("cannot open folder", dir, errno);
  const int synced = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  return synced == 0 ? Failure{} : Reason("cannot flush folder", dir, error);
}

}  // namespace

std::filesystem::path StateDir(Failure& reason) {
  reason.clear();
  const char* state = std::getenv("XDG_STATE_HOME");
  // A relative value is to be ignored: it would put the records wherever the tool starts.
  if (state != nullptr && state[0] == '/') return std::filesystem::path(state) / "tavrino";
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') {
    reason = "no home folder (HOME is not set)";
    return {};
  }
  return std::filesystem::path(home) / ".local" / "state" / "tavrino";
}

Failure MakePrivateDir(const std::filesystem::path& dir) {
  std::filesystem::path target = dir;
  if (!target.has_filename()) target = target.parent_path();  // "a/b/" is "a/b"
  if (target.empty()) return "cannot create folder: no name given";
  // The folders to make, deepest first: up to the first one that is there (a link there is
  // the user's choice and is left as it is).
  std::vector<std::filesystem::path> missing;
  for (std::filesystem::path at = target; !at.empty(); at = at.parent_path()) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) == 0) break;
    if (errno != ENOENT) return Reason("cannot create folder", at, errno);
    missing.push_back(at);
    if (at == at.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (InjectedFileFault(FileOp::MakeFolder, *it) || ::mkdir(it->c_str(), kPrivateDir) != 0) {
      // Made meanwhile by someone else: theirs, so its mode stays.
      if (errno == EEXIST) continue;
      return Reason("cannot create folder", *it, errno);
    }
    // The umask may have cut more than the mode asked for; this folder is ours to set.
    const int fd = ::open(it->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int changed = fd >= 0 ? ::fchmod(fd, kPrivateDir) : ::chmod(it->c_str(), kPrivateDir);
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (changed != 0) return Reason("cannot protect folder", *it, error);
  }
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) return Reason("cannot create folder", target, errno);
  if (!S_ISDIR(st.st_mode)) return "cannot create folder " + target.string() + ": not a folder";
  return {};
}

Failure CheckOwnFolder(const std::filesystem::path& dir) {
  struct stat st {};
  if (InjectedFileFault(FileOp::CheckFolder, dir) || ::lstat(dir.c_str(), &st) != 0)
    return Reason("cannot use folder", dir, errno);
  const std::string refused = "cannot use folder " + dir.string() + ": ";
  if (S_ISLNK(st.st_mode)) return refused + "a link, not a folder";
  if (!S_ISDIR(st.st_mode)) return refused + "not a folder";
  if (st.st_uid != ::geteuid()) return refused + "owned by another user";
  if (!OnlyTheUserWrites(st)) return refused + "others may write to it";
  return {};
}

Failure CreateNewFile(const std::filesystem::path& path, bool& nameTaken) {
  nameTaken = false;
  const int fd = InjectedFileFault(FileOp::Create, path)
                     ? -1
                     : ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              kPrivateFile);
  if (fd < 0) {
    nameTaken = errno == EEXIST;
    return Reason("cannot create", path, errno);
  }
  Failure failure;
  if (::fchmod(fd, kPrivateFile) != 0) failure = Reason("cannot protect", path, errno);
  ::close(fd);
  if (!failure.empty()) ::unlink(path.c_str());
  return failure;
}

Failure WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                            FileAccess access) {
  const std::filesystem::path temporary =
      detail::TemporaryBeside(path, static_cast<uint32_t>(::getpid()));
  const int fd =
      InjectedFileFault(FileOp::Create, temporary)
          ? -1
          : ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFile);
  if (fd < 0) return Reason("cannot create", temporary, errno);
  // Held until the file is closed: what tells a later run that this temporary is a write
  // in progress even where the process id in its name cannot be checked (a process of
  // another pid namespace, as a container has, writing to the same folder).
  ::flock(fd, LOCK_EX | LOCK_NB);
  // The mode given to open is cut by the umask; the file must be private whatever it is,
  // and a shared file gets what a plain create would give it.
  mode_t mode = kPrivateFile;
  if (access == FileAccess::Shared) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  Failure failure;
  if (::fchmod(fd, mode) != 0)
    failure = Reason("cannot protect", temporary, errno);
  else if (InjectedFileFault(FileOp::Write, temporary) || !WriteAll(fd, bytes.data(), bytes.size()))
    failure = Reason("cannot write", temporary, errno);
  else if (InjectedFileFault(FileOp::Flush, temporary) || ::fsync(fd) != 0)
    failure = Reason("cannot flush", temporary, errno);
  if (::close(fd) != 0 && failure.empty()) failure = Reason("cannot write", temporary, errno);
  if (failure.empty() &&
      (InjectedFileFault(FileOp::Rename, path) || ::rename(temporary.c_str(), path.c_str()) != 0))
    failure = Reason("cannot rename to", path, errno);
  if (!failure.empty()) {
    ::unlink(temporary.c_str());
    return failure;
  }
  return SyncFolder(path.parent_path());
}

namespace {

// A file of the tool's own state is read only when no other user can have put it there.
Failure CheckOwnFile(const std::filesystem::path& path, const struct stat& st) {
  if (st.st_uid != ::geteuid()) return "cannot use " + path.string() + ": owned by another user";
  if (!OnlyTheUserWrites(st)) return "cannot use " + path.string() + ": others may write to it";
  return {};
}

Failure ReadFile(const std::filesystem::path& path, size_t maxBytes, std::vector<uint8_t>& bytes,
                 bool own) {
  bytes.clear();
  // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
  const int fd = InjectedFileFault(FileOp::Read, path)
                     ? -1
                     : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK |
                                                (own ? O_NOFOLLOW : 0));
  if (fd < 0 && own && errno == ELOOP)
    return "cannot use " + path.string() + ": a link, not a file";
  if (fd < 0) return Reason("cannot open", path, errno);
  struct stat st {};
  Failure failure;
  if (::fstat(fd, &st) != 0)
    failure = Reason("cannot read", path, errno);
  else if (!S_ISREG(st.st_mode))
    failure = "cannot read " + path.string() + ": not a regular file";
  else if (own)
    failure = CheckOwnFile(path, st);
  if (failure.empty() && static_cast<uint64_t>(st.st_size) > maxBytes)
    failure = "cannot read " + path.string() + ": file too large";
  if (failure.empty()) {
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        failure = Reason("cannot read", path, errno);
        break;
      }
      if (got == 0) break;  // the file shrank while we read: take what is there
      done += static_cast<size_t>(got);
    }
    bytes.resize(done);
  }
  ::close(fd);
  if (!failure.empty()) bytes.clear();
  return failure;
}

}  // namespace

Failure ReadWholeFile(const std::filesystem::path& path, size_t maxBytes,
                      std::vector<uint8_t>& bytes) {
  return ReadFile(path, maxBytes, bytes, false);
}

Failure ReadOwnFile(const std::filesystem::path& path, size_t maxBytes,
                    std::vector<uint8_t>& bytes) {
  return ReadFile(path, maxBytes, bytes, true);
}

Failure RemoveFile(const std::filesystem::path& path) {
  if ((InjectedFileFault(FileOp::Remove, path) || ::unlink(path.c_str()) != 0) && errno != ENOENT)
    return Reason("cannot remove", path, errno);
  return {};
}

size_t RemoveAbandonedTemporaries(const std::filesystem::path& dir) {
  const auto processRuns = [](uint32_t pid) {
    // Not there at all: ESRCH. Another user's process (EPERM) runs all the same.
    return static_cast<pid_t>(pid) == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 ||
           errno != ESRCH;
  };
  // The user's own regular file, not locked by a writer. A file system without locks says
  // nothing either way, and the process id decides alone.
  const auto abandoned = [](const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool idle = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
    if (idle && ::flock(fd, LOCK_EX | LOCK_NB) != 0) idle = errno != EWOULDBLOCK;
    ::close(fd);
    return idle;
  };
  return detail::RemoveTemporariesOfEndedProcesses(dir, processRuns, abandoned);
}

}  // namespace tavrino::os
