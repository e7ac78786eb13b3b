// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "firmware/FirmwareImage.h"
#include "settings/ConversionRuns.h"
#include "settings/DefaultSettings.h"
#include "settings/PageSums.h"

namespace tavrino {

// An internal consistency error of the work areas: an access that does not lie inside
// them, or a conversion between versions that have none. A fault of the tool itself, never
// of the panel: what was being prepared must not reach it.
struct SettingsFault {
  enum class Kind : uint8_t { None, Write, Read, Conversion };
  Kind kind = Kind::None;
  uint8_t area = 0;  // the area a refused access named

  explicit operator bool() const { return kind != Kind::None; }
  bool operator==(const SettingsFault&) const = default;
};

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

  explicit SettingsAreas(FirmwareImage& image) : image_(image) {}

  // Copy count (0..255) bytes into / out of area 0..2 from offset on. An access whose end
  // passes 0x8000 moves nothing, is a fault (Write or Read, of that area) and returns false.
  // An area number past 2 (or a missing buffer) is refused the same way instead of touching
  // memory it does not own.
  bool WriteSettingsArea(uint8_t area, uint16_t offset, const uint8_t* source, uint16_t count);
  bool ReadSettingsArea(uint8_t area, uint16_t offset, uint8_t* destination, uint16_t count);

  // Recomputes the 64 page sums of memory 2 held in area 0 (offsets 0x4000..0x7FFF).
  void RefreshMemory2Sums();
  // Converts area 1 (memory 1, old layout) into area 2 (new layout) by the panel's and the
  // file's version codes: "103" -> "104" or "104" -> "103". Any other pair is a fault
  // (Conversion), changes nothing and returns false.
  bool ConvertSettings(const std::string& panelVersion, const std::string& fileVersion);
  // Area 1 copied to area 2 unchanged (no conversion due).
  void CopyMemory1Unchanged();

  // The first internal consistency error since the last Reset(), if any: the run must not
  // go on, and the caller tells the person.
  const SettingsFault& Fault() const { return fault_; }
  bool Failed() const { return static_cast<bool>(fault_); }
  void Reset() { fault_ = {}; }

 private:
  bool Refuse(SettingsFault fault);
  uint8_t* AreaBytes(uint8_t area);
  bool StorePageSums(uint8_t area, const PageSumLayout& layout);
  bool FillNewMemory1(const SettingsImage& defaults);
  bool ApplyConversion(const ConversionTable& table);
  bool MarkUnusedBlock();

  FirmwareImage& image_;
  SettingsFault fault_;
};

}  // namespace tavrino
