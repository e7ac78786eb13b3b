// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/HostOs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "os/FileFaults.h"

namespace tavrino::os {

namespace {

constexpr mode_t kPrivateDir = 0700;
constexpr mode_t kPrivateFile = 0600;

Failure Reason(const char* what, const std::filesystem::path& path, int error) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(error);
}

// A unique name beside the target, so that the rename stays within one file system.
std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
  static std::mt19937_64 generator{std::random_device{}()};
  std::string name = ".";
  name += path.filename().string();
  name += ".tmp";
  name += std::to_string(::getpid());
  name += '-';
  name += std::to_string(generator() & 0xFFFFFF);
  return path.parent_path() / name;
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
  if (InjectedFileFault(FileOp::MakeFolder, dir)) return Reason("cannot create folder", dir, errno);
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) return "cannot create folder " + dir.string() + ": " + error.message();
  if (::chmod(dir.c_str(), kPrivateDir) != 0) return Reason("cannot protect folder", dir, errno);
  return {};
}

Failure WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                            FileAccess access) {
  const std::filesystem::path temporary = TemporaryBeside(path);
  const int fd =
      InjectedFileFault(FileOp::Create, temporary)
          ? -1
          : ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFile);
  if (fd < 0) return Reason("cannot create", temporary, errno);
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

Failure ReadWholeFile(const std::filesystem::path& path, size_t maxBytes,
                      std::vector<uint8_t>& bytes) {
  bytes.clear();
  // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return Reason("cannot open", path, errno);
  struct stat st {};
  Failure failure;
  if (::fstat(fd, &st) != 0)
    failure = Reason("cannot read", path, errno);
  else if (!S_ISREG(st.st_mode))
    failure = "cannot read " + path.string() + ": not a regular file";
  else if (static_cast<uint64_t>(st.st_size) > maxBytes)
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

Failure RemoveFile(const std::filesystem::path& path) {
  if ((InjectedFileFault(FileOp::Remove, path) || ::unlink(path.c_str()) != 0) && errno != ENOENT)
    return Reason("cannot remove", path, errno);
  return {};
}

}  // namespace tavrino::os
