// SPDX-License-Identifier: GPL-2.0-or-later
#include "serial/DeviceMapping.h"

#include <cstdlib>

namespace tavrino {

std::string MappedDevice(uint16_t n) {
  const std::string variable = "TAVRINO_COM" + std::to_string(n);
  const char* mapped = std::getenv(variable.c_str());
  return mapped != nullptr ? std::string(mapped) : std::string();
}

}  // namespace tavrino
