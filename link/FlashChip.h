// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What each flash chip the Starter reports means to the tool, one row per code, so that
// "what does type 5 do?" is answered in one place.
#include <cstdint>
#include <span>

namespace tavrino {

struct FlashChip {
  uint8_t code;      // as IdentifyStarter reports it
  const char* name;  // shown on the "FLASH type:" line
  // Page-write chips (rewrite a 256-byte page without an erase): the comparison and the
  // verification also check BootCopy, and programming writes BootCopy itself when the
  // settings stay as they are.
  bool bootCopyRules;
  // The settings recovery erases sector 6 before it writes BootCopy and the settings back.
  bool erasesSector6;
  // An updater exists for the chip, so its Starter is checked and may be replaced.
  bool starterChecked;
  // NOR chips take new bytes only after an erase: sector 0 goes before the updater.
  bool erasesBeforeUpdate;
  // The chip the updater image is made for: names its file and must appear in its banner.
  // Null where no updater exists.
  const char* updaterChip;
};

// The row for a code 1..6; null for any other code (the run ends on an unknown chip).
const FlashChip* FindFlashChip(uint8_t code);
// Every row, codes 1..6 in order.
std::span<const FlashChip> AllFlashChips();

}  // namespace tavrino
