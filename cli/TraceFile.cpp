#include "cli/TraceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavrino::cli {
namespace {

constexpr mode_t kPrivate = 0600;

std::string NotATrace(const std::string& path) {
  return "the trace file " + path + " is not a regular file or a terminal";
}

}  // namespace

TraceFile::~TraceFile() {
  if (buf_.fd >= 0) {
    out_.flush();
    ::close(buf_.fd);
  }
}

std::string TraceFile::Open(const std::string& path) {
  // Look before opening: a FIFO or a socket is refused without being touched.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode))
    return NotATrace(path);
  // O_NONBLOCK: should the name have become a FIFO since, the open fails instead of
  // waiting for a reader. No O_TRUNC yet: only a regular file is emptied, once checked.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kPrivate);
  if (fd < 0) {
    const int why = errno;
    if (why == ENXIO) return NotATrace(path);  // a FIFO with no reader
    return "cannot write the trace file " + path + ": " + std::strerror(why);
  }
  if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || ::isatty(fd) == 1)) {
    ::close(fd);
    return NotATrace(path);
  }
  if (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    const int why = errno;
    ::close(fd);
    return "cannot write the trace file " + path + ": " + std::strerror(why);
  }
  // A terminal may make a writer wait a moment; that is a wait, not an error.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  buf_.fd = fd;
  return {};
}

std::string TraceFile::WriteError() const {
  return buf_.error == 0 ? std::string() : std::strerror(buf_.error);
}

bool TraceFile::FdBuf::Drain() {
  const char* from = pbase();
  const char* const end = pptr();
  while (from < end && error == 0) {
    const ssize_t put = ::write(fd, from, static_cast<size_t>(end - from));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = put < 0 ? errno : EIO;
      break;
    }
    from += put;
  }
  setp(buffer, buffer + sizeof buffer);
  return error == 0;
}

TraceFile::FdBuf::int_type TraceFile::FdBuf::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int TraceFile::FdBuf::sync() {
  return Drain() ? 0 : -1;
}

}  // namespace tavrino::cli
