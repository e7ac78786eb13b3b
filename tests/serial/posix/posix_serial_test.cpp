// SPDX-License-Identifier: GPL-2.0-or-later
// The termios backend over a pseudo-terminal pair: the test holds the master side, the
// backend opens the slave device like a serial port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "serial/SerialPort.h"
#include "serial/posix/PosixSerial.h"

namespace tavrino {
namespace {

using Bytes = std::vector<uint8_t>;
using OpenError = SerialBackend::OpenError;

struct Pty {
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    slave = ptsname(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() { CloseMaster(); }
  void CloseMaster() {
    if (master >= 0) close(master);
    master = -1;
  }
  void Write(const Bytes& bytes) const {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // What arrives within limitMs, up to want bytes. The limit only bounds a failure.
  Bytes Read(size_t want, int limitMs = 5000) const {
    Bytes got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (got.size() < want && std::chrono::steady_clock::now() < end) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      uint8_t buf[4096];
      ssize_t r = read(master, buf, std::min(sizeof buf, want - got.size()));
      if (r > 0) got.insert(got.end(), buf, buf + r);
    }
    return got;
  }
  termios Settings() const {
    termios t{};
    EXPECT_EQ(tcgetattr(master, &t), 0);
    return t;
  }

  int master = -1;
  std::string slave;
};

// Reads n bytes from the backend, sleeping on it between looks.
Bytes ReadBackend(PosixSerialBackend& b, size_t n) {
  Bytes got;
  for (int tries = 0; got.size() < n && tries < 500; ++tries) {
    if (b.BytesWaiting() == 0) {
      b.WaitReadable(10);
      continue;
    }
    uint8_t buf[512];
    got.insert(got.end(), buf, buf + b.Read(buf, sizeof buf));
  }
  return got;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(PosixSerial, ComPortsAreTtySUnlessMapped) {
  PosixSerialBackend port;
  unsetenv("TAVRINO_COM2");
  EXPECT_EQ(port.DeviceName(1), "/dev/ttyS0");
  EXPECT_EQ(port.DeviceName(2), "/dev/ttyS1");
  EXPECT_EQ(port.DeviceName(4), "/dev/ttyS3");
  setenv("TAVRINO_COM2", "/dev/ttyUSB0", 1);
  EXPECT_EQ(port.DeviceName(2), "/dev/ttyUSB0");
  setenv("TAVRINO_COM2", "", 1);
  EXPECT_EQ(port.DeviceName(2), "/dev/ttyS1") << "an empty mapping is no mapping";
  unsetenv("TAVRINO_COM2");
}

TEST(PosixSerial, OpensRawAt8N1AtEveryLinkSpeed) {
  Pty pty;
  ASSERT_GE(pty.master, 0);
  PosixSerialBackend port;
  const std::pair<uint32_t, speed_t> speeds[] = {
      {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
  for (auto [baud, constant] : speeds) {
    ASSERT_EQ(port.Open(pty.slave, baud), OpenError::None) << baud;
    const termios t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), constant) << baud;
    EXPECT_EQ(cfgetispeed(&t), constant) << baud;
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u) << "modem lines ignored";
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_FALSE(port.Cts()) << "a pseudo-terminal has no modem lines";
  }
  EXPECT_EQ(port.Open(pty.slave, 12345), OpenError::Unsupported);
  EXPECT_FALSE(port.IsOpen());
}

TEST(PosixSerial, CarriesEveryByteValueBothWaysUntouched) {
  Pty pty;
  PosixSerialBackend port;
  ASSERT_EQ(port.Open(pty.slave, 9600), OpenError::None);
  Bytes all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);

  pty.Write(all);
  EXPECT_EQ(ReadBackend(port, all.size()), all);
  EXPECT_EQ(port.BytesWaiting(), 0u);

  EXPECT_EQ(port.Write(all.data(), all.size()), SerialError::None);
  EXPECT_EQ(pty.Read(all.size()), all);
}

TEST(PosixSerial, WaitReadableWakesForAByteAndOtherwiseSleepsItsSlice) {
  Pty pty;
  PosixSerialBackend port;
  ASSERT_EQ(port.Open(pty.slave, 9600), OpenError::None);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.WaitReadable(30));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  pty.Write({0x5A});
  EXPECT_TRUE(port.WaitReadable(10000));
  EXPECT_EQ(port.BytesWaiting(), 1u);
}

TEST(PosixSerial, SecondOpenOfTheSamePortIsRefused) {
  Pty pty;
  PosixSerialBackend first, second;
  ASSERT_EQ(first.Open(pty.slave, 9600), OpenError::None);
  EXPECT_EQ(second.Open(pty.slave, 9600), OpenError::Busy);
  if (geteuid() != 0) {
    // The exclusive mode refuses even a plain open (root passes it; the lock stops root).
    errno = 0;
    EXPECT_LT(open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK), 0);
    EXPECT_EQ(errno, EBUSY);
  }
  first.Close();
  EXPECT_EQ(second.Open(pty.slave, 9600), OpenError::None) << "free again once closed";
  second.Close();

  // Another program holding the lock, whatever its terminal settings.
  int other = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(first.Open(pty.slave, 9600), OpenError::Busy);
  close(other);
  EXPECT_EQ(first.Open(pty.slave, 9600), OpenError::None);
}

TEST(PosixSerial, OpenErrorsSayWhy) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tavrino_serial_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path file = dir / "not_a_port";
  std::ofstream(file) << "x";
  const fs::path locked = dir / "locked";
  std::ofstream(locked) << "x";
  chmod(locked.c_str(), 0);

  struct Case {
    std::string device;
    OpenError expected;
  };
  std::vector<Case> cases = {
      {(dir / "missing").string(), OpenError::NotFound},
      {"", OpenError::NotFound},
      {file.string(), OpenError::NotATerminal},
      {dir.string(), OpenError::NotATerminal},
      {"/dev/null", OpenError::NotATerminal},
  };
  if (geteuid() != 0) cases.push_back({locked.string(), OpenError::NoAccess});
  for (const auto& c : cases) {
    PosixSerialBackend port;
    EXPECT_EQ(port.Open(c.device, 9600), c.expected) << c.device;
    EXPECT_FALSE(port.IsOpen()) << c.device;
    EXPECT_EQ(port.BytesWaiting(), 0u);
    EXPECT_FALSE(port.Cts());
  }
  fs::remove_all(dir);
}

TEST(PosixSerial, DriverWritesAFullQueueAsOnePieceAndKeepsTheRest) {
  Pty pty;
  setenv("TAVRINO_COM1", pty.slave.c_str(), 1);
  PosixSerialBackend backend;
  SerialPort port(backend);
  ASSERT_TRUE(port.OpenPort(1, 12, 'N'));
  Bytes bytes(1025);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 3);
  port.QueuePortBytes(bytes.data(), bytes.size());
  EXPECT_EQ(pty.Read(1024), Bytes(bytes.begin(), bytes.begin() + 1024));
  EXPECT_TRUE(pty.Read(1, 200).empty()) << "the last byte waits for the flush";
  port.FlushPortOutput();
  EXPECT_EQ(pty.Read(1), Bytes{bytes[1024]});

  pty.Write({0x91});
  uint8_t b = 0;
  for (int tries = 0; tries < 500 && !port.ReadPortByte(b); ++tries) port.WaitForInput(10);
  EXPECT_EQ(b, 0x91);
  unsetenv("TAVRINO_COM1");
}

// Once the other end is gone the device reports a hang-up on every poll. Reads must
// find nothing and waits must still sleep their slice instead of returning at once.
TEST(PosixSerial, OtherEndClosedReadsNothingAndWaitsStillSleep) {
  Pty pty;
  PosixSerialBackend backend;
  SerialPort port(backend);
  setenv("TAVRINO_COM4", pty.slave.c_str(), 1);
  ASSERT_TRUE(port.OpenPort(4, 12, 'N'));
  unsetenv("TAVRINO_COM4");
  pty.CloseMaster();

  uint8_t b = 0;
  EXPECT_FALSE(port.ReadPortByte(b));
  EXPECT_EQ(backend.BytesWaiting(), 0u);
  port.QueuePortBytes(std::string("\x01\x02"));
  port.FlushPortOutput();  // goes nowhere, and does not hang

  constexpr int kWaits = 10;
  constexpr uint32_t kSliceMs = 20;
  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kWaits; ++i) EXPECT_FALSE(port.WaitForInput(kSliceMs));
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  const double cpu = CpuSeconds() - cpuBefore;
  // Sleeps never end early, so the lower bound holds however slow the machine is; a
  // sleeping thread uses next to no CPU, far below the generous quarter allowed here.
  EXPECT_GE(wall.count(), kWaits * kSliceMs / 1000.0);
  EXPECT_LT(cpu, wall.count() / 4) << "cpu " << cpu << " s in " << wall.count() << " s";
}

}  // namespace
}  // namespace tavrino
