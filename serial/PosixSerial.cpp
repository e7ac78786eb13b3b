#include "serial/PosixSerial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace tavrino {
namespace {

using Steady = std::chrono::steady_clock;

struct SpeedEntry {
  uint32_t baud;
  speed_t constant;
};
constexpr SpeedEntry kSpeeds[] = {
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};

bool SpeedConstant(uint32_t baud, speed_t& speed) {
  for (const auto& e : kSpeeds) {
    if (e.baud == baud) {
      speed = e.constant;
      return true;
    }
  }
  return false;
}

SerialBackend::OpenError ErrorOfOpen(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    // A serial device node without the hardware behind it refuses to open with EIO.
    case EIO:
      return SerialBackend::OpenError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return SerialBackend::OpenError::NoAccess;
    case EBUSY:
    case EWOULDBLOCK:
      return SerialBackend::OpenError::Busy;
    case EISDIR:
    case ENOTTY:
      return SerialBackend::OpenError::NotATerminal;
    default:
      return SerialBackend::OpenError::Failed;
  }
}

// Raw 8N1 at the given speed: no echo, no line editing, no character translation, no
// software or hardware flow control, modem lines ignored, reads that never wait.
void ConfigureLine(int fd, speed_t speed) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  // A device that takes the open but not the settings still counts as opened: the panel
  // then does not answer, and the connection step says so.
  tcsetattr(fd, TCSANOW, &t);
}

void SleepFor(Steady::duration d) {
  if (d > Steady::duration::zero()) std::this_thread::sleep_for(d);
}

int PollMs(Steady::duration d) {
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return ms < 0 ? 0 : static_cast<int>(ms);
}

}  // namespace

PosixSerialBackend::~PosixSerialBackend() {
  Close();
}

bool PosixSerialBackend::SupportedSpeed(uint32_t baud) {
  speed_t unused;
  return SpeedConstant(baud, unused);
}

SerialBackend::OpenError PosixSerialBackend::Open(const std::string& device, uint32_t baud) {
  Close();
  speed_t speed;
  if (!SpeedConstant(baud, speed)) return OpenError::Failed;
  if (device.empty()) return OpenError::NotFound;

  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ErrorOfOpen(errno);
  if (!isatty(fd)) {
    ::close(fd);
    return OpenError::NotATerminal;
  }
  // TIOCEXCL does not stop a program running as root; the lock does.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? OpenError::Busy : OpenError::Failed;
  }
  ioctl(fd, TIOCEXCL);
  ConfigureLine(fd, speed);
  fd_ = fd;
  baud_ = baud;
  return OpenError::None;
}

void PosixSerialBackend::Close() {
  if (fd_ < 0) return;
  // The exclusive mark stays on the terminal while its other end (a pseudo-terminal's
  // master) is open, so take it off before letting go.
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  baud_ = 0;
}

size_t PosixSerialBackend::BytesWaiting() {
  if (fd_ < 0) return 0;
  int n = 0;
  if (ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<size_t>(n);
}

size_t PosixSerialBackend::Read(uint8_t* buf, size_t n) {
  if (fd_ < 0 || n == 0) return 0;
  for (;;) {
    ssize_t r = ::read(fd_, buf, n);
    if (r > 0) return static_cast<size_t>(r);
    if (r < 0 && errno == EINTR) continue;
    return 0;
  }
}

size_t PosixSerialBackend::Write(const uint8_t* buf, size_t n) {
  if (fd_ < 0) return 0;
  size_t done = 0;
  const auto deadline = Steady::now() + std::chrono::milliseconds(kWriteTimeoutMs);
  while (done < n) {
    ssize_t w = ::write(fd_, buf + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // The system's output queue is full: wait for room instead of dropping the rest.
      auto left = deadline - Steady::now();
      if (left <= Steady::duration::zero()) break;
      pollfd p{fd_, POLLOUT, 0};
      int rc = poll(&p, 1, PollMs(left));
      if (rc < 0 && errno == EINTR) continue;
      if (rc <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
      continue;
    }
    break;
  }
  DrainOutput(done);
  return done;
}

void PosixSerialBackend::DrainOutput(size_t bytes) {
  // A request counts as sent when its last byte has left the line, not when the system took
  // it: the answer time-outs (49 ms for a settings block) start from there, and a 265-byte
  // settings write alone needs 46 ms on the wire at 57600 bit/s. tcdrain() has no bound, so
  // the output queue is watched instead, for at most twice the wire time plus a margin.
  if (fd_ < 0 || bytes == 0 || baud_ == 0) return;
  const auto wire = std::chrono::microseconds(uint64_t{bytes} * 10u * 1000000u / baud_);
  const auto deadline = Steady::now() + 2 * wire + std::chrono::milliseconds(kDrainMarginMs);
  for (;;) {
    int pending = 0;
    if (ioctl(fd_, TIOCOUTQ, &pending) != 0 || pending <= 0) return;
    const auto left = deadline - Steady::now();
    if (left <= Steady::duration::zero()) return;
    const auto byteTime = std::chrono::microseconds(uint64_t{static_cast<unsigned>(pending)} *
                                                    10u * 1000000u / baud_);
    SleepFor(std::min<Steady::duration>({byteTime, left, std::chrono::milliseconds(10)}));
  }
}

bool PosixSerialBackend::Cts() {
  if (fd_ < 0) return false;
  int bits = 0;
  // Pseudo-terminals have no modem lines and answer ENOTTY or EINVAL: CTS reads as off.
  if (ioctl(fd_, TIOCMGET, &bits) != 0) return false;
  return (bits & TIOCM_CTS) != 0;
}

bool PosixSerialBackend::WaitReadable(uint32_t ms) {
  const auto slice = std::chrono::milliseconds(ms);
  const auto start = Steady::now();
  if (fd_ < 0) {
    SleepFor(slice);
    return false;
  }
  for (;;) {
    auto left = slice - (Steady::now() - start);
    if (left <= Steady::duration::zero()) return BytesWaiting() > 0;
    pollfd p{fd_, POLLIN, 0};
    int rc = poll(&p, 1, PollMs(left));
    if (rc == 0) return false;
    if (rc < 0 && errno == EINTR) continue;
    if (rc > 0 && BytesWaiting() > 0) return true;
    // Ready without a byte: the other end hung up or the line reports an error, and poll
    // would answer at once every time. Sleep out the slice so that the caller's loop
    // keeps its pace instead of burning a core.
    SleepFor(slice - (Steady::now() - start));
    return BytesWaiting() > 0;
  }
}

}  // namespace tavrino
