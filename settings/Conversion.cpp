// SPDX-License-Identifier: GPL-2.0-or-later
#include <string>

#include "settings/SettingsAreas.h"

namespace tavrino {

namespace {
constexpr uint16_t kMemory1Base = 0x8000;
// Addresses 0xFE80..0xFEFF of memory 1 hold no settings and lie outside every page; a
// converted memory gets them erased.
constexpr uint16_t kUnusedBlockOffset = 0xFE80 - kMemory1Base;
constexpr uint16_t kUnusedBlockLength = 128;
constexpr uint8_t kErased = 0xFF;
}  // namespace

bool SettingsAreas::ConvertSettings(const std::string& panelVersion,
                                    const std::string& fileVersion) {
  const ConversionTable* table = nullptr;
  const SettingsImage* defaults = nullptr;
  if (panelVersion == "103" && fileVersion == "104") {
    table = &Conversion103To104;
    defaults = &DefaultSettings104();
  } else if (panelVersion == "104" && fileVersion == "103") {
    table = &Conversion104To103;
    defaults = &DefaultSettings103();
  } else {
    return Refuse({SettingsFault::Kind::Conversion, 0});
  }
  // Each step stops at the first refused access: one fault is enough.
  return FillNewMemory1(*defaults) && ApplyConversion(*table) && MarkUnusedBlock() &&
         StorePageSums(kNewMemory1Area, kMemory1Sums);
}

bool SettingsAreas::FillNewMemory1(const SettingsImage& defaults) {
  for (uint32_t offset = 0; offset < defaults.size(); ++offset) {
    if (!WriteSettingsArea(kNewMemory1Area, static_cast<uint16_t>(offset), &defaults[offset], 1))
      return false;
  }
  return true;
}

bool SettingsAreas::ApplyConversion(const ConversionTable& table) {
  for (const ConversionItem& item : table) {
    for (uint16_t k = 0; k < item.length; ++k) {
      const auto from = static_cast<uint16_t>(item.source - kMemory1Base + k);
      const auto to = static_cast<uint16_t>(item.destination - kMemory1Base + k);
      uint8_t byte = 0;
      if (!ReadSettingsArea(kOldMemory1Area, from, &byte, 1) ||
          !WriteSettingsArea(kNewMemory1Area, to, &byte, 1))
        return false;
    }
  }
  return true;
}

bool SettingsAreas::MarkUnusedBlock() {
  for (uint16_t k = 0; k < kUnusedBlockLength; ++k) {
    if (!WriteSettingsArea(kNewMemory1Area, static_cast<uint16_t>(kUnusedBlockOffset + k), &kErased,
                           1))
      return false;
  }
  return true;
}

}  // namespace tavrino
