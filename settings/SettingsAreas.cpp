// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings/SettingsAreas.h"

#include <cstring>

namespace tavrino {

namespace {
constexpr uint16_t kCopyUnit = 4;  // the plain copy of memory 1 moves 4 bytes at a time
}

uint8_t* SettingsAreas::AreaBytes(uint8_t area) {
  return image_.data() + kSettingsAreaBase + uint32_t{area} * kSettingsAreaSize;
}

// An access outside the areas is a fault of the tool itself, not of the panel: it is kept
// for the caller, and every byte stays where it was. The first one is the one to tell.
bool SettingsAreas::Refuse(SettingsFault fault) {
  if (!fault_) fault_ = fault;
  return false;
}

bool SettingsAreas::WriteSettingsArea(uint8_t area, uint16_t offset, const uint8_t* source,
                                      uint16_t count) {
  // Summed in 32 bits: offset 0xFFFF with count 2 must not wrap round to a small end.
  if (area >= kAreaCount || uint32_t{offset} + count > kSettingsAreaSize ||
      (count != 0 && source == nullptr))
    return Refuse({SettingsFault::Kind::Write, area});
  if (count != 0) std::memcpy(AreaBytes(area) + offset, source, count);
  return true;
}

bool SettingsAreas::ReadSettingsArea(uint8_t area, uint16_t offset, uint8_t* destination,
                                     uint16_t count) {
  if (area >= kAreaCount || uint32_t{offset} + count > kSettingsAreaSize ||
      (count != 0 && destination == nullptr))
    return Refuse({SettingsFault::Kind::Read, area});
  if (count != 0) std::memcpy(destination, AreaBytes(area) + offset, count);
  return true;
}

// Page by page in increasing order, each sum stored before the next page is summed; the
// sums lie outside every page, so no sum feeds another.
bool SettingsAreas::StorePageSums(uint8_t area, const PageSumLayout& layout) {
  for (uint16_t page = 0; page < layout.pages; ++page) {
    uint16_t sum = 0;
    const uint16_t first = layout.PageOffset(page);
    for (uint16_t k = 0; k < layout.PageLength(page); ++k) {
      uint8_t byte = 0;
      if (!ReadSettingsArea(area, static_cast<uint16_t>(first + k), &byte, 1)) return false;
      sum = static_cast<uint16_t>(sum + byte);
    }
    const uint8_t stored[2] = {static_cast<uint8_t>(sum & 0xFF), static_cast<uint8_t>(sum >> 8)};
    if (!WriteSettingsArea(area, static_cast<uint16_t>(layout.sumsOffset + 2 * page), stored, 2))
      return false;
  }
  return true;
}

void SettingsAreas::RefreshMemory2Sums() {
  StorePageSums(kMemory2Area, kMemory2Sums);
}

void SettingsAreas::CopyMemory1Unchanged() {
  uint8_t unit[kCopyUnit];
  for (uint32_t offset = 0; offset < kSettingsAreaSize; offset += kCopyUnit) {
    const auto at = static_cast<uint16_t>(offset);
    if (!ReadSettingsArea(kOldMemory1Area, at, unit, kCopyUnit) ||
        !WriteSettingsArea(kNewMemory1Area, at, unit, kCopyUnit))
      return;
  }
}

}  // namespace tavrino
