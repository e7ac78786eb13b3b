// SPDX-License-Identifier: GPL-2.0-or-later
#include "serial/posix/PosixSerial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "serial/DeviceMapping.h"
#include "serial/SystemSerial.h"

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

// The one place where the system's error numbers become the serial layer's errors.
SerialError ErrorOfSystem(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    // A serial device node without the hardware behind it refuses to open with EIO.
    case EIO:
      return SerialError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return SerialError::NoAccess;
    case EBUSY:
    case EWOULDBLOCK:
      return SerialError::Busy;
    case EISDIR:
    case ENOTTY:
      return SerialError::NotATerminal;
    default:
      return SerialError::Failed;
  }
}

// Once open, a device that has gone answers EIO (a hung-up terminal), ENXIO or ENODEV
// (an unplugged adapter).
bool GoneError(int err) {
  return err == EIO || err == ENXIO || err == ENODEV;
}

// Raw 8N1 at the given speed: no echo, no line editing, no character translation, no
// software or hardware flow control, modem lines ignored, reads that never wait.
// Returns the errno of a refusal, 0 when the settings are in force.
int ConfigureLine(int fd, speed_t speed) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return errno;
  cfmakeraw(&t);
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CREAD | CLOCAL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  return tcsetattr(fd, TCSANOW, &t) == 0 ? 0 : errno;
}

void SleepFor(Steady::duration d) {
  if (d > Steady::duration::zero()) std::this_thread::sleep_for(d);
}

int PollMs(Steady::duration d) {
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return ms < 0 ? 0 : static_cast<int>(ms);
}

}  // namespace

std::unique_ptr<SerialBackend> MakeSystemSerialBackend() {
  return std::make_unique<PosixSerialBackend>();
}

PosixSerialBackend::~PosixSerialBackend() {
  Close();
}

std::string PosixSerialBackend::DeviceName(uint16_t n) const {
  std::string mapped = MappedDevice(n);
  if (!mapped.empty()) return mapped;
  return n >= 1 ? "/dev/ttyS" + std::to_string(n - 1) : std::string();
}

SerialError PosixSerialBackend::Failure(int err) {
  reason_ = std::strerror(err);
  return ErrorOfSystem(err);
}

bool PosixSerialBackend::SupportedSpeed(uint32_t baud) {
  speed_t unused;
  return SpeedConstant(baud, unused);
}

SerialError PosixSerialBackend::Open(const std::string& device, uint32_t baud) {
  Close();
  reason_.clear();
  speed_t speed;
  if (!SpeedConstant(baud, speed)) return SerialError::Unsupported;
  if (device.empty()) return SerialError::NotFound;

  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Failure(errno);
  if (!isatty(fd)) {
    ::close(fd);
    return SerialError::NotATerminal;
  }
  // TIOCEXCL does not stop a program running as root; the lock does.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? SerialError::Busy : Failure(err);
  }
  ioctl(fd, TIOCEXCL);
  // A device that takes the open but not the settings still counts as opened: the panel
  // then does not answer, and the connection step says so.
  ConfigureLine(fd, speed);
  fd_ = fd;
  baud_ = baud;
  gone_ = false;
  return SerialError::None;
}

SerialError PosixSerialBackend::SetSpeed(uint32_t baud) {
  if (fd_ < 0) return SerialError::Failed;
  speed_t speed;
  if (!SpeedConstant(baud, speed)) return SerialError::Unsupported;
  baud_ = baud;
  tcflush(fd_, TCIFLUSH);
  // As at the open, settings the device does not take are not a failure of their own;
  // a device that has gone is.
  const int err = ConfigureLine(fd_, speed);
  if (err != 0 && GoneError(err)) {
    gone_ = true;
    reason_ = std::strerror(err);
    return SerialError::LineGone;
  }
  return gone_ ? SerialError::LineGone : SerialError::None;
}

void PosixSerialBackend::Close() {
  if (fd_ < 0) return;
  // The exclusive mark stays on the terminal while its other end (a pseudo-terminal's
  // master) is open, so take it off before letting go.
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  baud_ = 0;
  gone_ = false;
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
    if (r < 0 && GoneError(errno)) {
      gone_ = true;
      reason_ = std::strerror(errno);
    }
    return 0;
  }
}

SerialError PosixSerialBackend::Write(const uint8_t* buf, size_t n) {
  if (fd_ < 0) return SerialError::Failed;
  size_t done = 0;
  int failure = 0;
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
      if (rc > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        failure = EIO;
        break;
      }
      if (rc <= 0) break;
      continue;
    }
    failure = w < 0 ? errno : EIO;
    break;
  }
  if (failure != 0) {
    gone_ = gone_ || GoneError(failure);
    reason_ = std::strerror(failure);
    return GoneError(failure) ? SerialError::LineGone : ErrorOfSystem(failure);
  }
  if (done < n) return SerialError::TimedOut;
  // Bytes the system has taken are sent; the drain only paces the caller's time-outs.
  DrainOutput(done);
  return SerialError::None;
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
    const auto byteTime = std::chrono::microseconds(uint64_t{static_cast<unsigned>(pending)} * 10u *
                                                    1000000u / baud_);
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
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) gone_ = true;
    SleepFor(slice - (Steady::now() - start));
    return BytesWaiting() > 0;
  }
}

}  // namespace tavrino
