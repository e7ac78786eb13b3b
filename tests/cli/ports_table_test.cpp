// SPDX-License-Identifier: GPL-2.0-or-later
// The table of tavrino-cli ports: aligned columns, every state in words, and the hint for a
// device that no COMn opens.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/PortsCommand.h"

namespace tavrino::cli {
namespace {

TEST(PortsTable, OneAlignedRowPerDeviceWithItsComAndState) {
  SerialDeviceInfo uart{"/dev/ttyS0", "",        "serial", "",          "",        "",
                        "",           "dialout", true,     Answer::Yes, Answer::No};
  SerialDeviceInfo missing{"/dev/ttyS1",   "", "", "", "", "", "", "", false, Answer::Unknown,
                           Answer::Unknown};
  SerialDeviceInfo usb{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_A1-if00-port0",
                       "ftdi_sio",     "0403",
                       "6001",         "A1",
                       "FTDI FT232R",  "dialout",
                       true,           Answer::No,
                       Answer::Unknown};
  SerialDeviceInfo held = uart;
  held.device = "/dev/ttyACM0";
  held.held = Answer::Yes;
  const std::string table = PortsTableText({{1, uart}, {2, missing}, {0, usb}, {0, held}});
  EXPECT_EQ(
      table,
      "PORT  DEVICE        STATE                                  DRIVER    USB        SERIAL  "
      "STABLE NAME\n"
      "COM1  /dev/ttyS0    free                                   serial    -          -       -\n"
      "COM2  /dev/ttyS1    missing                                -         -          -       -\n"
      "-     /dev/ttyUSB0  no permission: join the group dialout  ftdi_sio  0403:6001  A1      "
      "/dev/serial/by-id/usb-FTDI_A1-if00-port0\n"
      "-     /dev/ttyACM0  busy: held by another program          serial    -          -       -\n"
      "\nA device without a port: use it for one command with --port DEVICE, or make it a "
      "port\nwith TAVRINO_COMn=DEVICE (for example TAVRINO_COM1=/dev/ttyUSB0).\n");
  EXPECT_EQ(PortsTableText({{1, uart}}).find("A device without a port"), std::string::npos);
}

// A name that comes from outside (a TAVRINO_COMn value, what an adapter says it is) cannot
// make a row of its own or reach the terminal as a command.
TEST(PortsTable, NamesAreShownWithTheirControlCharactersEscaped) {
  SerialDeviceInfo forged{"/dev/ttyS0\nCOM9  /dev/ttyUSB9  free",
                          "",
                          "",
                          "",
                          "",
                          "",
                          "",
                          "dialout",
                          true,
                          Answer::Yes,
                          Answer::No};
  SerialDeviceInfo usb = forged;
  usb.device = "/dev/ttyUSB0";
  usb.usbVendor = "0403";
  usb.usbProduct = "6001";
  usb.usbSerial = "A1\x1b]2;owned\x07";
  usb.stableName =
      "/dev/serial/by-id/usb-\xc2\x9b"
      "31m-\xff-caf\xc3\xa9\\x";
  const std::string table = PortsTableText({{1, forged}, {0, usb}});
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3 + 3) << table;
  EXPECT_NE(table.find("COM1  /dev/ttyS0\\x0aCOM9  /dev/ttyUSB9  free  free"), std::string::npos)
      << table;
  EXPECT_NE(table.find("A1\\x1b]2;owned\\x07"), std::string::npos) << table;
  // A C1 control and a stray byte are escaped; printable UTF-8 and the backslash itself stay
  // readable.
  EXPECT_NE(table.find("usb-\\xc2\\x9b31m-\\xff-caf\xc3\xa9\\\\x"), std::string::npos) << table;
  for (char c : table) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << table;
}

}  // namespace
}  // namespace tavrino::cli
