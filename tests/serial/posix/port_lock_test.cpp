// SPDX-License-Identifier: GPL-2.0-or-later
// The port stays ours for a whole command: through every speed change a rival program that
// tries the port at each step of the driver never gets in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "serial/PortChoice.h"
#include "serial/SerialPort.h"
#include "serial/posix/PosixSerial.h"
#include "support/Env.h"

namespace tavrino {
namespace {

// The termios backend, with a rival that tries to open the same device after every step
// the driver takes, just as a second program looping on the port would.
class RivalledBackend : public PosixSerialBackend {
 public:
  explicit RivalledBackend(std::string device) : device_(std::move(device)) {}
  SerialError Open(const std::string& device, uint32_t baud) override {
    const SerialError e = PosixSerialBackend::Open(device, baud);
    Rival("after open");
    return e;
  }
  SerialError SetSpeed(uint32_t baud) override {
    Rival("before speed change");
    const SerialError e = PosixSerialBackend::SetSpeed(baud);
    Rival("after speed change");
    return e;
  }
  void Close() override {
    const bool wasOpen = IsOpen();
    PosixSerialBackend::Close();
    if (wasOpen) Rival("after close");
  }

  bool commandRunning = false;
  std::vector<std::string> rivalGotIn;  // the steps at which the rival got the port
  int rivalTries = 0;

 private:
  void Rival(const char* step) {
    if (!commandRunning) return;
    ++rivalTries;
    PosixSerialBackend rival;
    if (rival.Open(device_, 9600) == SerialError::None) rivalGotIn.push_back(step);
  }
  std::string device_;
};

struct ChoiceView : PortChoiceView {
  bool ChoosePortDialog(const std::array<bool, 4>&, uint16_t&, bool&) override { return false; }
  void ShowPortSpeed(const std::string&) override {}
};

TEST(PortLock, ARivalNeverGetsThePortThroughAWholeCommandsSpeedChanges) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  test::SetEnv("TAVRINO_COM2", slave);

  RivalledBackend backend(slave);
  SerialPort port(backend);
  ChoiceView view;
  PortChoice ports(port, view);
  ports.PortNumber = 2;
  backend.commandRunning = true;
  // What a connection with silent handshakes does: open, step through the speeds, switch
  // to the fast speed the Starter offers, then the updater's 19200 and back.
  ASSERT_TRUE(ports.ChoosePort());
  for (int silent = 0; silent < 7; ++silent) ASSERT_TRUE(ports.NextLinkMode()) << silent;
  ports.LinkMode = 5;
  ASSERT_TRUE(ports.ApplyLinkSpeed());
  ports.LinkMode = 6;
  ASSERT_TRUE(ports.ApplyLinkSpeed());
  ports.LinkMode = 3;
  ASSERT_TRUE(ports.ApplyLinkSpeed());
  EXPECT_EQ(port.Baud(), 9600u);
  EXPECT_GT(backend.rivalTries, 20);
  EXPECT_TRUE(backend.rivalGotIn.empty()) << "the rival got in " << backend.rivalGotIn.front();

  // Once the command lets go, the port is free for the next program.
  port.ClosePort();
  ASSERT_EQ(backend.rivalGotIn, std::vector<std::string>{"after close"});
  test::UnsetEnv("TAVRINO_COM2");
  close(master);
}

// The speed changes on the open device: bytes from the old speed are dropped, the new
// speed is in force, and a line that has gone fails the change instead of passing it.
TEST(PortLock, SpeedChangeKeepsTheDeviceDropsOldBytesAndFailsOnAGoneLine) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  PosixSerialBackend backend;
  ASSERT_EQ(backend.Open(slave, 9600), SerialError::None);
  const int fd = backend.Descriptor();
  const uint8_t old[] = {1, 2, 3};
  ASSERT_EQ(write(master, old, sizeof old), 3);
  ASSERT_TRUE(backend.WaitReadable(5000));
  ASSERT_EQ(backend.SetSpeed(57600), SerialError::None);
  EXPECT_EQ(backend.Descriptor(), fd) << "the same open device";
  EXPECT_EQ(backend.BytesWaiting(), 0u);
  termios t{};
  ASSERT_EQ(tcgetattr(master, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(backend.SetSpeed(12345), SerialError::Unsupported);

  close(master);
  EXPECT_FALSE(backend.WaitReadable(20));
  EXPECT_EQ(backend.LineState(), SerialError::LineGone);
  EXPECT_EQ(backend.SetSpeed(9600), SerialError::LineGone);
  const uint8_t frame[] = {0x1B, 0xAA};
  EXPECT_EQ(backend.Write(frame, sizeof frame), SerialError::LineGone);
}

}  // namespace
}  // namespace tavrino
