// SPDX-License-Identifier: GPL-2.0-or-later
// Port discovery against a small fake /sys and /dev (a USB adapter, a board UART behind the
// generic serial port layer, a UART without a chip, a virtual terminal) and a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "serial/InMemoryLine.h"
#include "serial/PortDiscovery.h"
#include "serial/SerialPort.h"
#include "serial/posix/PosixSerial.h"

namespace tavrino {
namespace {

namespace fs = std::filesystem;

class FakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 4; ++n) unsetenv(("TAVRINO_COM" + std::to_string(n)).c_str());
    char pattern[] = "/tmp/tavrino-discovery-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    roots_ = {root_ / "sys", root_ / "dev"};
    // A USB adapter: tty -> usb-serial port -> interface -> USB device with its ids.
    const fs::path usb = "devices/pci0000:00/usb1/1-1";
    Attr(usb / "idVendor", "0403");
    Attr(usb / "idProduct", "6001");
    Attr(usb / "serial", "A1B2C3");
    Attr(usb / "manufacturer", "FTDI");
    Attr(usb / "product", "FT232R USB UART");
    Dir("bus/usb-serial/drivers/ftdi_sio");
    Link(usb / "1-1:1.0/ttyUSB0/driver", "../../../../../bus/usb-serial/drivers/ftdi_sio");
    Tty("ttyUSB0", "../../../devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0");
    // A board UART: the driver that knows the chip sits above the generic port layer.
    const fs::path uart = "devices/pnp0/00:01";
    Dir("bus/pnp/drivers/serial");
    Dir("bus/serial-base/drivers/port");
    Dir("bus/serial-base/drivers/ctrl");
    Link(uart / "driver", "../../../bus/pnp/drivers/serial");
    Link(uart / "00:01:0/driver", "../../../../bus/serial-base/drivers/ctrl");
    Link(uart / "00:01:0/00:01:0.0/driver", "../../../../../bus/serial-base/drivers/port");
    Tty("ttyS0", "../../../devices/pnp0/00:01/00:01:0/00:01:0.0");
    Attr("class/tty/ttyS0/type", "4");
    // A UART the kernel registered without a chip, and a virtual terminal.
    Dir("devices/platform/serial8250/port1");
    Tty("ttyS1", "../../../devices/platform/serial8250/port1");
    Attr("class/tty/ttyS1/type", "0");
    Dir("class/tty/tty0");
    fs::create_directories(roots_.dev / "serial/by-id");
    for (const char* node : {"ttyUSB0", "ttyS0", "ttyS1", "tty0"}) std::ofstream(roots_.dev / node);
    fs::create_symlink("../../ttyUSB0",
                       roots_.dev / "serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0");
  }
  void TearDown() override {
    for (int n = 1; n <= 4; ++n) unsetenv(("TAVRINO_COM" + std::to_string(n)).c_str());
    fs::remove_all(root_);
  }

  void Dir(const fs::path& p) { fs::create_directories(roots_.sys / p); }
  void Attr(const fs::path& p, const std::string& value) {
    Dir(p.parent_path());
    std::ofstream(roots_.sys / p) << value << "\n";
  }
  void Link(const fs::path& p, const std::string& target) {
    Dir(p.parent_path());
    fs::create_symlink(target, roots_.sys / p);
  }
  void Tty(const std::string& name, const std::string& device) {
    Dir(fs::path("devices") / fs::path(device).lexically_relative("../../../devices"));
    Link(fs::path("class/tty") / name / "device", device);
  }
  std::string Node(const char* name) const { return (roots_.dev / name).string(); }

  fs::path root_;
  DiscoveryRoots roots_;
};

TEST_F(FakeSystem, ListsTheHardwareWithDriverUsbIdsAndStableName) {
  const auto found = DiscoverSerialDevices(roots_);
  ASSERT_EQ(found.size(), 2u) << "no chip, no hardware: left out";
  const SerialDeviceInfo& uart = found[0];
  EXPECT_EQ(uart.device, Node("ttyS0"));
  EXPECT_EQ(uart.driver, "serial");
  EXPECT_FALSE(uart.IsUsb());
  EXPECT_EQ(uart.stableName, "");

  const SerialDeviceInfo& usb = found[1];
  EXPECT_EQ(usb.device, Node("ttyUSB0"));
  EXPECT_EQ(usb.driver, "ftdi_sio");
  EXPECT_EQ(usb.usbVendor, "0403");
  EXPECT_EQ(usb.usbProduct, "6001");
  EXPECT_EQ(usb.usbSerial, "A1B2C3");
  EXPECT_EQ(usb.usbName, "FTDI FT232R USB UART");
  EXPECT_EQ(usb.stableName, Node("serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0"));
  EXPECT_TRUE(usb.present);
  EXPECT_EQ(usb.mayOpen, Answer::Yes);
  EXPECT_EQ(usb.held, Answer::No);
  EXPECT_EQ(UnavailableReason(usb), "");
}

TEST_F(FakeSystem, TellsWhenAnotherProgramHoldsTheDeviceOrItMayNotBeOpened) {
  const int holder = open(Node("ttyUSB0").c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const SerialDeviceInfo held = ProbeSerialDevice(Node("ttyUSB0"), roots_);
  EXPECT_EQ(held.held, Answer::Yes);
  EXPECT_EQ(UnavailableReason(held), "busy: held by another program");
  EXPECT_EQ(held.usbVendor, "0403") << "a device named by path is described as when listed";
  close(holder);
  EXPECT_EQ(ProbeSerialDevice(Node("ttyUSB0"), roots_).held, Answer::No)
      << "the probe held nothing";

  const SerialDeviceInfo missing = ProbeSerialDevice(Node("ttyUSB7"), roots_);
  EXPECT_FALSE(missing.present);
  EXPECT_EQ(UnavailableReason(missing), "missing");

  if (geteuid() != 0) {  // root may open anything
    fs::permissions(Node("ttyS0"), fs::perms::none);
    const SerialDeviceInfo locked = ProbeSerialDevice(Node("ttyS0"), roots_);
    EXPECT_EQ(locked.mayOpen, Answer::No);
    EXPECT_EQ(locked.held, Answer::Unknown);
    EXPECT_EQ(UnavailableReason(locked), "no permission: ask an administrator");
  }
}

// Only a group that may read and write the device is named for joining: a device for its
// owner alone, or for root's group, has none.
TEST_F(FakeSystem, TheGroupToJoinIsOneThatMayOpenTheDevice) {
  const fs::path node = Node("ttyS0");
  const gid_t gid = geteuid() == 0 ? 20 : getegid();  // any group but root's
  ASSERT_EQ(chown(node.c_str(), static_cast<uid_t>(-1), gid), 0);
  using P = fs::perms;
  fs::permissions(node, P::owner_read | P::owner_write | P::group_read | P::group_write);
  EXPECT_FALSE(ProbeSerialDevice(node, roots_).group.empty());
  fs::permissions(node, P::owner_read | P::owner_write | P::group_read);
  EXPECT_EQ(ProbeSerialDevice(node, roots_).group, "");
  if (geteuid() == 0) {
    fs::permissions(node, P::owner_read | P::owner_write | P::group_read | P::group_write);
    ASSERT_EQ(chown(node.c_str(), static_cast<uid_t>(-1), 0), 0);
    EXPECT_EQ(ProbeSerialDevice(node, roots_).group, "");
  }
}

TEST_F(FakeSystem, APseudoTerminalHeldByTheBackendIsBusy) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  EXPECT_EQ(ProbeSerialDevice(slave, roots_).held, Answer::No);
  PosixSerialBackend backend;
  ASSERT_EQ(backend.Open(slave, 9600), SerialBackend::OpenError::None);
  const SerialDeviceInfo busy = ProbeSerialDevice(slave, roots_);
  EXPECT_TRUE(busy.present);
  EXPECT_EQ(busy.held, Answer::Yes);
  backend.Close();
  EXPECT_EQ(ProbeSerialDevice(slave, roots_).held, Answer::No);
  close(master);
}

TEST_F(FakeSystem, TheTableNamesTheComOfEachDeviceAndTheAdapterIsOfferedToAnUnmappedPort) {
  FakeClock clock{0};
  test::InMemoryLine line{clock};
  SerialPort port(line);
  setenv("TAVRINO_COM2", Node("ttyS0").c_str(), 1);
  port.MapPort(3, Node("ttyS9"));  // mapped, but the device is not there
  setenv("TAVRINO_COM4", Node("serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0").c_str(), 1);
  port.MapPort(1, Node("ttyS1"));

  auto rows = PortTable(port, roots_);
  ASSERT_EQ(rows.size(), 4u) << "every device is some COMn's";
  EXPECT_EQ(rows[0].com, 1);
  EXPECT_EQ(UnavailableReason(rows[0].info), "missing") << "a UART without a chip";
  EXPECT_EQ(rows[1].com, 2);
  EXPECT_EQ(rows[1].info.driver, "serial");
  EXPECT_EQ(rows[2].com, 3);
  EXPECT_FALSE(rows[2].info.present);
  EXPECT_EQ(rows[3].com, 4);
  EXPECT_EQ(rows[3].info.device, Node("serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0"));
  EXPECT_EQ(rows[3].info.usbVendor, "0403");
  // COM1..COM3 cannot open, but the adapter is COM4's already: nothing to offer.
  EXPECT_EQ(OfferAdapter(port, {false, true, false, true}, roots_).com, 0);

  unsetenv("TAVRINO_COM4");
  port.MapPort(4, Node("ttyS0"));
  rows = PortTable(port, roots_);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[4].com, 0) << "the adapter that no port opens comes last";
  EXPECT_EQ(rows[4].info.device, Node("ttyUSB0"));
  // COM1 and COM3 are mapped by the session: the offer goes to none of them.
  EXPECT_EQ(OfferAdapter(port, {false, true, false, true}, roots_).com, 0);
  port.MapPort(3, "");
  const AdapterOffer offer = OfferAdapter(port, {false, true, false, true}, roots_);
  EXPECT_EQ(offer.com, 3);
  EXPECT_EQ(offer.device, Node("ttyUSB0"));
  EXPECT_EQ(offer.name, "usb-FTDI_FT232R_A1B2C3-if00-port0");
}

// A COMn or --port name that leads to something other than a terminal is no port, however
// freely it opens; a FIFO is not even opened, so nothing waits on it.
TEST_F(FakeSystem, ANameThatIsNoTerminalIsNotASerialPort) {
  ASSERT_EQ(mkfifo((root_ / "fifo").c_str(), 0600), 0);
  std::ofstream(root_ / "file") << "x";
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const struct {
    std::string device;
    std::string reason;
  } cases[] = {
      {"/dev/zero", "not a serial port"},
      {"/dev/null", "not a serial port"},
      {(root_ / "fifo").string(), "not a serial port"},
      {(root_ / "file").string(), "not a serial port"},
      {root_.string(), "not a serial port"},
      {ptsname(master), ""},
  };
  for (const auto& c : cases) {
    const SerialDeviceInfo info = ProbeSerialDevice(c.device, roots_);
    EXPECT_EQ(UnavailableReason(info), c.reason) << c.device;
    EXPECT_EQ(info.serialPort, c.reason.empty()) << c.device;
  }
  close(master);
  FakeClock clock{0};
  test::InMemoryLine line{clock};
  SerialPort port(line);
  setenv("TAVRINO_COM2", "/dev/zero", 1);
  const auto rows = PortTable(port, roots_);
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[1].info.device, "/dev/zero");
  EXPECT_EQ(UnavailableReason(rows[1].info), "not a serial port");
}

TEST(PortDiscovery, ReasonsInTheDialogsWords) {
  using E = SerialBackend::OpenError;
  EXPECT_EQ(UnavailableReason(E::None, ""), "");
  EXPECT_EQ(UnavailableReason(E::NotFound, ""), "missing");
  EXPECT_EQ(UnavailableReason(E::Busy, ""), "busy: held by another program");
  EXPECT_EQ(UnavailableReason(E::NoAccess, ""), "no permission: ask an administrator");
  EXPECT_EQ(UnavailableReason(E::NoAccess, "uucp"), "no permission: join the group uucp");
  EXPECT_EQ(UnavailableReason(E::NotATerminal, ""), "not a serial port");
}

}  // namespace
}  // namespace tavrino
