// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavrino::os {

namespace {
constexpr mode_t kPrivate = 0600;
}

OutputFile::OpenResult OutputFile::Open(const std::string& path) {
  Close();
  failed_ = false;
  reason_.clear();
  // Look before opening: a FIFO or a socket is refused without being touched.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode))
    return OpenResult::WrongKind;
  // O_NONBLOCK: should the name have become a FIFO since, the open fails instead of
  // waiting for a reader. No O_TRUNC yet: only a regular file is emptied, once checked.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kPrivate);
  if (fd < 0) {
    if (errno == ENXIO) return OpenResult::WrongKind;  // a FIFO with no reader
    reason_ = std::strerror(errno);
    return OpenResult::Failed;
  }
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || ::isatty(fd) == 1)) {
    ::close(fd);
    return OpenResult::WrongKind;
  }
  if (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    reason_ = std::strerror(errno);
    ::close(fd);
    return OpenResult::Failed;
  }
  // A terminal may make a writer wait a moment; that is a wait, not an error.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = fd;
  return OpenResult::Open;
}

bool OutputFile::Write(const char* bytes, size_t n) {
  if (!IsOpen() || failed_) return false;
  while (n > 0) {
    const ssize_t put = ::write(static_cast<int>(handle_), bytes, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      failed_ = true;
      reason_ = std::strerror(put < 0 ? errno : EIO);
      return false;
    }
    bytes += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

void OutputFile::Close() {
  if (IsOpen()) ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

}  // namespace tavrino::os
