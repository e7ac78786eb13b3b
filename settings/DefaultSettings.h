// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <array>
#include <cstdint>

#include "firmware/FirmwareImage.h"

namespace tavrino {

// A whole settings memory 1: byte k holds address 0x8000 + k.
using SettingsImage = std::array<uint8_t, kSettingsAreaSize>;

// The panel's factory settings of memory 1 in the 103 and the 104 layout, with valid page
// sums. A conversion starts from the image of the target layout, so the bytes that no
// conversion run reaches come from here. Built once, on first use.
const SettingsImage& DefaultSettings103();
const SettingsImage& DefaultSettings104();

}  // namespace tavrino
