// SPDX-License-Identifier: GPL-2.0-or-later
// The one reading of a port argument that both front ends share.
#include <gtest/gtest.h>

#include "serial/PortArgument.h"

namespace tavrino {
namespace {

TEST(PortArgument, BareDigitsOneToFourOrADevicePathWhereAllowed) {
  const struct {
    const char* text;
    bool allowPath;
    uint16_t number;
    const char* device;
  } cases[] = {
      {"1", false, 1, ""},
      {"4", true, 4, ""},
      {"0", true, 0, ""},
      {"5", true, 0, ""},
      {" 3", true, 0, ""},
      {"3 ", true, 0, ""},
      {"03", true, 0, ""},
      {"COM3", true, 0, ""},
      {"", true, 0, ""},
      {"ttyUSB0", true, 0, ""},
      {"/dev/ttyUSB0", true, 0, "/dev/ttyUSB0"},
      {"/dev/ttyUSB0", false, 0, ""},
      {"./com1", true, 0, "./com1"},
  };
  for (const auto& c : cases) {
    const PortArgument port = ParsePortArgument(c.text, c.allowPath);
    EXPECT_EQ(port.number, c.number) << '"' << c.text << '"';
    EXPECT_EQ(port.device, c.device) << '"' << c.text << '"';
    EXPECT_EQ(port.Valid(), c.number != 0 || *c.device != '\0') << '"' << c.text << '"';
    if (!c.allowPath) {
      EXPECT_EQ(PortNumberArgument(c.text), c.number);
    }
  }
}

}  // namespace
}  // namespace tavrino
