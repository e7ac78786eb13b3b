// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The panel's 512 KiB flash: sectors, chip behaviour on writes, and the check values the
// Starter computes over it.
#include <cstdint>
#include <vector>

namespace tavrino::sim {

inline constexpr uint32_t kSectorSize = 0x10000;
inline constexpr uint32_t kPageSize = 0x100;
inline constexpr uint32_t kStarterBase = 0x70000;
inline constexpr uint32_t kStarterSector = 7;
inline constexpr uint32_t kStarterLanguageAt = 0x71FF9;
inline constexpr uint32_t kStarterDigitsAt = 0x71FFA;
inline constexpr uint32_t kStarterChecksumAt = 0x71FFC;
inline constexpr uint32_t kStarterSumSeed = 2000;

// Types 1 (AT29C040A) and 4 (W29C040) program a whole page at once, whatever it held.
// All other codes behave as NOR flash: programming only clears bits.
bool RewritesWholePage(uint8_t flashType);

void EraseSector(std::vector<uint8_t>& flash, uint32_t sector);

// Programs the 256-byte page at address (a multiple of 256). False when a NOR chip could
// not reach the data because a bit would have to go from 0 to 1 (the page then holds
// old AND data, as the chip leaves it).
bool ProgramPage(std::vector<uint8_t>& flash, uint8_t flashType, uint32_t address,
                 const uint8_t* data);

struct BlockCheck {
  uint16_t sum;
  uint8_t xorValue;
  uint8_t rot;
};
// The three accumulators over length bytes from address.
BlockCheck ComputeBlockCheck(const uint8_t* bytes, uint32_t length);

// The Starter's own checksum: over its 64 KiB area in address order, leaving out the four
// bytes where the checksum is stored.
uint32_t ComputeStarterChecksum(const std::vector<uint8_t>& flash);
uint32_t StoredStarterChecksum(const std::vector<uint8_t>& flash);

}  // namespace tavrino::sim
