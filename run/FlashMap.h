// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>

#include "firmware/FirmwareImage.h"
#include "settings/SettingsAreas.h"

namespace tavrino::flashmap {

// The panel's flash as the run uses it: the program in sectors 0..5, then sector 6 with
// BootCopy (a copy of the program's first 16 KiB) and the copies of both settings memories.
inline constexpr uint32_t kProgramArea = 0x60000;
inline constexpr uint8_t kProgramSectors = 6;
inline constexpr uint32_t kBootCopyBase = 0x60000;
inline constexpr uint32_t kSettingsCopyBase = 0x64000;  // memory 2 copy, then memory 1 copy
inline constexpr uint8_t kSector6 = 6;

// Writes go in pages of 256 bytes, check values come over blocks of 512.
inline constexpr uint32_t kWriteBlock = 0x100;
inline constexpr uint32_t kChecksumBlock = 0x200;
inline constexpr uint32_t kBootCopyWriteBlocks = 0x4000 / kWriteBlock;
inline constexpr uint32_t kBootCopyChecksumBlocks = 0x4000 / kChecksumBlock;

// The settings as the Starter reaches them: blocks of 256 bytes from address 0x8000 of each
// memory; their copies in sector 6 behind BootCopy, memory 2's and then memory 1's.
inline constexpr uint32_t kSettingsBlock = 0x100;
inline constexpr uint32_t kMemory1Blocks = 128;
inline constexpr uint32_t kMemory2Blocks = 64;
inline constexpr uint32_t kCopyBlocks = kMemory2Blocks + kMemory1Blocks;
inline constexpr uint16_t kMemoryBase = 0x8000;
// Sector 6 written back page by page: BootCopy, then the copies.
inline constexpr uint32_t kSector6Blocks = 0x10000 / kWriteBlock;

// Where block n of the settings copies (counted from kSettingsCopyBase) belongs in the
// settings work areas: memory 2's blocks come first, in the upper half of its area, then
// memory 1's from the start of its area.
struct CopyBlockPlace {
  bool memory2;
  uint16_t areaOffset;
};
constexpr CopyBlockPlace SettingsCopyBlock(uint32_t n) {
  if (n < kMemory2Blocks)
    return {true, static_cast<uint16_t>(SettingsAreas::kMemory2Offset + kSettingsBlock * n)};
  return {false, static_cast<uint16_t>(kSettingsBlock * (n - kMemory2Blocks))};
}

// The Starter: its code from 0x70000; its language, the two digits of its version and its
// check value in the last bytes of its 8 KiB.
inline constexpr uint32_t kStarterBase = 0x70000;
inline constexpr uint32_t kStarterLanguageAddress = 0x71FF9;
inline constexpr uint32_t kStarterDigitsAddress = 0x71FFA;
inline constexpr uint32_t kStarterChecksumAddress = 0x71FFC;
// Starter 3.1 in English: older ones are replaced, and an update leaves this one.
inline constexpr uint8_t kFirstGoodStarter = 0x31;
inline constexpr uint8_t kEnglishStarter = 1;

}  // namespace tavrino::flashmap
