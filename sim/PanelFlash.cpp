// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/PanelFlash.h"

#include <algorithm>

namespace tavrino::sim {

bool RewritesWholePage(uint8_t flashType) {
  return flashType == 1 || flashType == 4;
}

void EraseSector(std::vector<uint8_t>& flash, uint32_t sector) {
  const auto begin = flash.begin() + static_cast<std::ptrdiff_t>(sector * kSectorSize);
  std::fill(begin, begin + kSectorSize, 0xFF);
}

bool ProgramPage(std::vector<uint8_t>& flash, uint8_t flashType, uint32_t address,
                 const uint8_t* data) {
  uint8_t* page = flash.data() + address;
  if (RewritesWholePage(flashType)) {
    std::copy(data, data + kPageSize, page);
    return true;
  }
  bool reached = true;
  for (uint32_t i = 0; i < kPageSize; ++i) {
    page[i] = static_cast<uint8_t>(page[i] & data[i]);
    if (page[i] != data[i]) reached = false;
  }
  return reached;
}

BlockCheck ComputeBlockCheck(const uint8_t* bytes, uint32_t length) {
  BlockCheck c{0xB094, 0x7A, 0x3E};
  for (uint32_t i = 0; i < length; ++i) {
    const uint8_t b = bytes[i];
    c.sum = static_cast<uint16_t>(c.sum + b);
    c.xorValue = static_cast<uint8_t>(c.xorValue ^ b);
    const uint8_t t = static_cast<uint8_t>(c.rot + b);
    c.rot = static_cast<uint8_t>((t << 4) | (t >> 4));
  }
  return c;
}

uint32_t ComputeStarterChecksum(const std::vector<uint8_t>& flash) {
  uint32_t sum = kStarterSumSeed;
  for (uint32_t a = kStarterBase; a < kStarterBase + kSectorSize; ++a) {
    if (a >= kStarterChecksumAt && a < kStarterChecksumAt + 4) continue;
    sum += (sum >> 9) & 7;
    sum += flash[a];
    sum = (sum << 1) | (sum >> 31);
  }
  return sum;
}

uint32_t StoredStarterChecksum(const std::vector<uint8_t>& flash) {
  const uint8_t* p = flash.data() + kStarterChecksumAt;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace tavrino::sim
