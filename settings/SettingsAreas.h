// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "firmware/FirmwareImage.h"
#include "frontend/Host.h"
#include "settings/ConversionRuns.h"
#include "settings/DefaultSettings.h"
#include "settings/PageSums.h"

namespace tavrino {

// The three 32 KiB settings work areas at the end of the FirmwareImage, with their
// bound-checked access, the page sums and the 103 <-> 104 conversion of settings memory 1.
class SettingsAreas {
 public:
  static constexpr uint8_t kAreaCount = 3;
  static constexpr uint8_t kMemory2Area = 0;  // memory 2, at offsets 0x4000..0x7FFF
  static constexpr uint8_t kOldMemory1Area = 1;
  static constexpr uint8_t kNewMemory1Area = 2;
  // Memory 2 is the upper half of its area; memory 1 fills its area from offset 0.
  static constexpr uint16_t kMemory2Offset = 0x4000;

  SettingsAreas(FirmwareImage& image, Host& host) : image_(image), host_(host) {}

  // Copy count (0..255) bytes into / out of area 0..2 from offset on. An access whose end
  // passes 0x8000 shows "Error <area>w" / "Error <area>r", moves nothing, asks the
  // application to end, sets Failed() and returns false. An area number past 2 (or a
  // missing buffer) is refused the same way instead of touching memory it does not own.
  bool WriteSettingsArea(uint8_t area, uint16_t offset, const uint8_t* source, uint16_t count);
  bool ReadSettingsArea(uint8_t area, uint16_t offset, uint8_t* destination, uint16_t count);

  // Recomputes the 64 page sums of memory 2 held in area 0 (offsets 0x4000..0x7FFF).
  void RefreshMemory2Sums();
  // Converts area 1 (memory 1, old layout) into area 2 (new layout) by the panel's and the
  // file's version codes: "103" -> "104" or "104" -> "103". Any other pair shows
  // "Internal error 1", asks the application to end, changes nothing and returns false.
  bool ConvertSettings(const std::string& panelVersion, const std::string& fileVersion);
  // Area 1 copied to area 2 unchanged (no conversion due).
  void CopyMemory1Unchanged();

  // An internal consistency error happened since the last Reset(); the run must not go on.
  bool Failed() const { return failed_; }
  void Reset() { failed_ = false; }

 private:
  bool Refuse(uint8_t area, char access);
  uint8_t* AreaBytes(uint8_t area);
  bool StorePageSums(uint8_t area, const PageSumLayout& layout);
  bool FillNewMemory1(const SettingsImage& defaults);
  bool ApplyConversion(const ConversionTable& table);
  bool MarkUnusedBlock();

  FirmwareImage& image_;
  Host& host_;
  bool failed_ = false;
};

}  // namespace tavrino
