// SPDX-License-Identifier: GPL-2.0-or-later
#include "serial/PortArgument.h"

namespace tavrino {

uint16_t PortNumberArgument(const std::string& text) {
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '4') {
    return static_cast<uint16_t>(text[0] - '0');
  }
  return 0;
}

PortArgument ParsePortArgument(const std::string& text, bool allowDevicePath) {
  PortArgument port;
  port.number = PortNumberArgument(text);
  if (port.number == 0 && allowDevicePath && text.find('/') != std::string::npos) {
    port.device = text;
  }
  return port;
}

}  // namespace tavrino
