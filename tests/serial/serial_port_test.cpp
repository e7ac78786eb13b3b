// SPDX-License-Identifier: GPL-2.0-or-later
// The port driver over an in-memory line: names, speeds, the output queue, reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "serial/InMemoryLine.h"
#include "serial/SerialPort.h"
#include "support/Env.h"

namespace tavrino {
namespace {

using Bytes = std::vector<uint8_t>;
using OpenError = SerialBackend::OpenError;

struct PortRig {
  FakeClock clock{0};
  test::InMemoryLine line{clock};
  SerialPort port{line};
};

TEST(SerialPort, OnlyComOneToFourHaveADevice) {
  PortRig rig;
  EXPECT_EQ(rig.port.DeviceName(1), rig.line.DeviceName(1));
  EXPECT_EQ(rig.port.DeviceName(4), rig.line.DeviceName(4));
  EXPECT_EQ(rig.port.DeviceName(0), "");
  EXPECT_EQ(rig.port.DeviceName(5), "");
}

TEST(SerialPort, OpensAtTheSpeedOfTheDivisor) {
  const std::pair<uint16_t, uint32_t> table[] = {
      {1, 115200}, {2, 57600}, {3, 38400}, {6, 19200}, {12, 9600}};
  for (auto [divisor, speed] : table) {
    PortRig rig;
    ASSERT_TRUE(rig.port.OpenPort(3, divisor, 'N')) << divisor;
    EXPECT_EQ(rig.line.device, "/dev/ttyS2");
    EXPECT_EQ(rig.line.baud, speed) << divisor;
  }
}

TEST(SerialPort, RefusesWhatCannotBeOpened) {
  PortRig rig;
  rig.line.refused["/dev/ttyS1"] = OpenError::Busy;
  EXPECT_FALSE(rig.port.OpenPort(2, 12, 'N'));
  EXPECT_EQ(rig.port.LastOpenError(), OpenError::Busy);
  EXPECT_EQ(rig.port.LastDevice(), "/dev/ttyS1");

  EXPECT_FALSE(rig.port.OpenPort(9, 12, 'N'));
  EXPECT_EQ(rig.port.LastOpenError(), OpenError::NotFound);
  EXPECT_FALSE(rig.port.OpenPort(1, 0, 'N')) << "no speed";
  EXPECT_FALSE(rig.port.OpenPort(1, 12, 'E')) << "links are 8N1 only";
  EXPECT_EQ(rig.line.opens, 0);

  EXPECT_TRUE(rig.port.OpenPort(1, 12, 'N'));
  EXPECT_EQ(rig.port.LastOpenError(), OpenError::None);
  EXPECT_FALSE(rig.port.OpenPort(2, 12, 'N'));
  EXPECT_FALSE(rig.port.IsOpen()) << "a failed open leaves no port open";
}

// However the port's device was named, a speed change keeps the device open: no other
// program can take the line between two speeds.
TEST(SerialPort, EverySpeedChangeKeepsTheDeviceOpenHoweverItWasNamed) {
  struct Case {
    const char* name;
    std::function<void(SerialPort&)> name_it;
    std::string device;
  };
  const Case cases[] = {
      {"ComByNumber", [](SerialPort&) {}, "/dev/ttyS0"},
      {"ComMappedByTheVariable", [](SerialPort&) { test::SetEnv("TAVRINO_COM1", "/dev/ttyUSB2"); },
       "/dev/ttyUSB2"},
      // --port DEVICE, or an adapter taken in the port dialog.
      {"DeviceMappedForTheSession", [](SerialPort& p) { p.MapPort(1, "/dev/ttyUSB7"); },
       "/dev/ttyUSB7"},
      {"SessionMappingOverTheVariable",
       [](SerialPort& p) {
         test::SetEnv("TAVRINO_COM1", "/dev/ttyUSB2");
         p.MapPort(1, "/dev/serial/by-id/usb-adapter");
       },
       "/dev/serial/by-id/usb-adapter"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PortRig rig;
    c.name_it(rig.port);
    for (uint16_t divisor : {12, 3, 2, 6, 12}) ASSERT_TRUE(rig.port.OpenPort(1, divisor, 'N'));
    test::UnsetEnv("TAVRINO_COM1");
    EXPECT_EQ(rig.line.device, c.device);
    EXPECT_EQ(rig.line.opens, 1);
    EXPECT_EQ(rig.line.speedChanges, 4);
    EXPECT_EQ(rig.line.baud, 9600u);
  }
}

TEST(SerialPort, PortAvailableClosesTheOpenPortAndTriesAFreshOne) {
  PortRig rig;
  ASSERT_TRUE(rig.port.OpenPort(1, 12, 'N'));
  EXPECT_TRUE(rig.port.PortAvailable(1));
  EXPECT_EQ(rig.line.baud, 115200u);
  EXPECT_EQ(rig.line.opens, 2);
  EXPECT_FALSE(rig.port.IsOpen());
  rig.line.refused["/dev/ttyS3"] = OpenError::NotFound;
  EXPECT_FALSE(rig.port.PortAvailable(4));
}

TEST(SerialPort, ReadsOneWaitingByteAndNeverWaits) {
  PortRig rig;
  ASSERT_TRUE(rig.port.OpenPort(1, 12, 'N'));
  uint8_t b = 0x55;
  EXPECT_FALSE(rig.port.ReadPortByte(b));
  EXPECT_EQ(b, 0x55);
  rig.line.Arrive({0xFF, 0x00});
  ASSERT_TRUE(rig.port.ReadPortByte(b));
  EXPECT_EQ(b, 0xFF);
  ASSERT_TRUE(rig.port.ReadPortByte(b));
  EXPECT_EQ(b, 0x00);
  EXPECT_FALSE(rig.port.ReadPortByte(b));
  EXPECT_EQ(rig.clock.NowMs(), 0u);
  EXPECT_TRUE(rig.line.waits.empty());
}

TEST(SerialPort, QueueFlushesAFullBufferBeforeTheNextByte) {
  PortRig rig;
  ASSERT_TRUE(rig.port.OpenPort(1, 12, 'N'));
  Bytes bytes(1025);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  for (uint8_t b : bytes) rig.port.QueuePortBytes(&b, 1);
  ASSERT_EQ(rig.line.writes.size(), 1u);
  EXPECT_EQ(rig.line.writes[0], Bytes(bytes.begin(), bytes.begin() + 1024));
  EXPECT_EQ(rig.port.OutputCount, 1);
  rig.port.FlushPortOutput();
  ASSERT_EQ(rig.line.writes.size(), 2u);
  EXPECT_EQ(rig.line.writes[1], Bytes{bytes[1024]});
  rig.port.FlushPortOutput();
  EXPECT_EQ(rig.line.writes.size(), 2u) << "nothing queued, nothing written";

  rig.port.QueuePortBytes(std::string("\x01\xFF\x00", 3));
  rig.port.FlushPortOutput();
  EXPECT_EQ(rig.line.writes.back(), Bytes({0x01, 0xFF, 0x00}));
}

TEST(SerialPort, ClosedPortReadsNothingAndDropsWhatIsQueued) {
  PortRig rig;
  ASSERT_TRUE(rig.port.OpenPort(1, 12, 'N'));
  rig.line.Arrive({0x42, 0x43});
  uint8_t b = 0;
  ASSERT_TRUE(rig.port.ReadPortByte(b));
  EXPECT_EQ(b, 0x42);
  rig.line.cts = true;
  EXPECT_TRUE(rig.port.PortCtsOn());
  rig.port.QueuePortBytes(std::string("\x11\x22"));
  rig.port.ClosePort();

  EXPECT_FALSE(rig.port.ReadPortByte(b));
  EXPECT_FALSE(rig.port.PortCtsOn());
  rig.port.QueuePortBytes(std::string("\x33"));
  rig.port.FlushPortOutput();
  EXPECT_EQ(rig.port.OutputCount, 0);

  // Bytes queued for the closed line do not leave later on a fresh one, and bytes the
  // closed line brought are not read from the fresh one.
  ASSERT_TRUE(rig.port.OpenPort(1, 3, 'N'));
  EXPECT_FALSE(rig.port.ReadPortByte(b));
  rig.port.QueuePortBytes(std::string("\x44"));
  rig.port.FlushPortOutput();
  ASSERT_EQ(rig.line.writes.size(), 1u);
  EXPECT_EQ(rig.line.writes[0], Bytes{0x44});
}

}  // namespace
}  // namespace tavrino
