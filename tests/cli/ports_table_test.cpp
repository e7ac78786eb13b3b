// SPDX-License-Identifier: GPL-2.0-or-later
// The table of tavrino-cli ports: aligned columns, every state in words, and the hint for a
// device that no COMn opens.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tavrino::cli
