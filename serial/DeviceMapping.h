// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

namespace tavrino {

// The device that TAVRINO_COMn maps COM n to (a USB adapter, a pseudo-terminal in tests);
// empty when the variable is unset or empty. Every platform's backend honours it.
std::string MappedDevice(uint16_t n);

}  // namespace tavrino
