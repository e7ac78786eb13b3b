// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

namespace tavrino {

// The one reading of a port given on a command line, shared by both front ends.
struct PortArgument {
  uint16_t number = 0;  // 1..4 = COM1..COM4; 0 when the text names a device or nothing
  std::string device;   // a device path given instead of a number ("/dev/ttyUSB0")
  bool Valid() const { return number != 0 || !device.empty(); }
};

// "1".."4" exactly -> 1..4; anything else -> 0. No trimming and no prefixes: " 3", "03" and
// "COM3" are not a port, so that a mistyped argument never picks a line by guesswork.
uint16_t PortNumberArgument(const std::string& text);

// A port number as above, or, where a device path is allowed, any text holding a '/'.
PortArgument ParsePortArgument(const std::string& text, bool allowDevicePath);

}  // namespace tavrino
