// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Plausible, deterministic contents for a simulated panel: a Starter, a program with its
// version record, and the two settings memories in either data format.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrino::sim {

inline constexpr uint32_t kProgramSize = 0x60000;   // program area with its trailer
inline constexpr uint32_t kProgramBytes = 0x5FFFC;  // program bytes before the trailer
inline constexpr uint32_t kVersionRecordAt = 0x12000;
inline constexpr uint32_t kBootCopyAt = 0x60000;
inline constexpr uint32_t kBootCopySize = 0x4000;
inline constexpr uint32_t kMemory2CopyAt = 0x64000;
inline constexpr uint32_t kMemory1CopyAt = 0x68000;
inline constexpr uint32_t kMemoryBase = 0x8000;
inline constexpr uint32_t kMemory1Size = 0x8000;
inline constexpr uint32_t kMemory2Size = 0x4000;
inline constexpr uint32_t kUpdaterBannerAt = 52;
inline constexpr char kUpdaterBanner[] = "\r\n\r\nTavrino Starter updater 3.1";

// "1.03.05" or "10305" -> the five version characters; nothing for any other form.
std::optional<std::string> VersionChars(const std::string& version);

// Sector 7: Starter code, its version digits and language, and a valid checksum.
void WriteStarter(std::vector<uint8_t>& flash, uint8_t version, uint8_t language);

// A whole program area (0x60000 bytes): code-like bytes that are never 0xFF, a few erased
// regions (the last 64 KiB among them), the version record at 0x12000 or behind the
// signature, and the check trailer at 0x5FFFC. versionChars holds five characters.
std::vector<uint8_t> SyntheticProgramImage(const std::string& versionChars, uint8_t language,
                                           bool signature);
// Sets the four trailer bytes at 0x5FFFC from the program bytes before them.
void WriteProgramTrailer(std::vector<uint8_t>& program);

// Does the flash begin with a Starter updater (recognised by its banner)?
bool HoldsUpdater(const std::vector<uint8_t>& flash);

// Settings memory images (index = address - 0x8000) with valid page sums.
std::vector<uint8_t> Memory1Image(int format);  // 103 or 104
std::vector<uint8_t> Memory2Image(int format);
void RefreshMemory1Sums(std::vector<uint8_t>& memory1);
void RefreshMemory2Sums(std::vector<uint8_t>& memory2);
bool Memory1SumsGood(const std::vector<uint8_t>& memory1);
bool Memory2SumsGood(const std::vector<uint8_t>& memory2);

}  // namespace tavrino::sim
