// SPDX-License-Identifier: GPL-2.0-or-later
#include "link/FlashChip.h"

#include <array>

namespace tavrino {

namespace {

// clang-format off
constexpr std::array<FlashChip, 6> kFlashChips = {{
    // code  name                 BootCopy erase 6 checked erase 0 updater image
    {1, "ATMEL AT29C040A",   true,  false, true,  false, "AT29C040A"},
    {2, "AMD Am29F040",      false, true,  true,  true,  "AM29F040B"},
    {3, "Macronix MX29F040", false, true,  false, false, nullptr},
    {4, "Winbond W29C040",   true,  false, true,  false, "W29C040"},
    {5, "ST M29F040B",       false, true,  true,  true,  "M29F040B"},
    {6, "AMIC A29040B",      false, true,  true,  true,  "A29040B"},
}};
// clang-format on

}  // namespace

std::span<const FlashChip> AllFlashChips() {
  return kFlashChips;
}

const FlashChip* FindFlashChip(uint8_t code) {
  for (const FlashChip& chip : kFlashChips) {
    if (chip.code == code) return &chip;
  }
  return nullptr;
}

}  // namespace tavrino
