#include "firmware/QVFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavrino {

TQVFileStream::~TQVFileStream() {
  Close();
}

bool TQVFileStream::Open(const std::string& path) {
  Close();
  // The OS would stop at an embedded NUL and open a different, shorter path.
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  Attach(fd);
  return true;
}

void TQVFileStream::Attach(int fd) {
  Close();
  fd_ = fd;
  SectionBase = 0;
  phase_ = {};
}

void TQVFileStream::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TQVFileStream::IsRegularFile() const {
  struct stat st {};
  return fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

int64_t TQVFileStream::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int32_t TQVFileStream::Read(uint8_t* buffer, int32_t count) {
  if (count <= 0) return 0;
  int32_t done = 0;
  while (done < count) {
    ssize_t got = ::read(fd_, buffer + done, static_cast<size_t>(count - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<int32_t>(got);
  }
  DescrambleBytes(buffer, static_cast<size_t>(done), phase_);
  return done;
}

int32_t TQVFileStream::Write(const uint8_t* buffer, int32_t count) {
  if (count <= 0) return 0;
  int32_t done = 0;
  while (done < count) {
    ssize_t put = ::write(fd_, buffer + done, static_cast<size_t>(count - done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return -1;
    done += static_cast<int32_t>(put);
  }
  return done;
}

int32_t TQVFileStream::SeekSection(int32_t offset) {
  phase_ = KeyPhase::At(static_cast<int64_t>(offset) - SectionBase);
  off_t at = fd_ < 0 || offset < 0 ? -1 : ::lseek(fd_, offset, SEEK_SET);
  return at < 0 ? -1 : static_cast<int32_t>(at);
}

}  // namespace tavrino
