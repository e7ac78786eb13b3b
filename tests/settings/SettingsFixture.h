// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A fresh FirmwareImage with its settings areas, and helpers to look at an area's bytes
// directly in the image.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "settings/SettingsAreas.h"

namespace tavrino::test {

using Memory = std::vector<uint8_t>;  // index = offset in an area

inline constexpr uint32_t kAreaImageOffset[3] = {0xC0000, 0xC8000, 0xD0000};
inline constexpr uint32_t kAreaLength = 0x8000;

// Deterministic bytes that differ from their neighbours, so a byte taken from the wrong
// place shows.
inline Memory Scrambled(uint32_t seed, uint32_t length = kAreaLength) {
  Memory bytes(length);
  uint32_t state = seed * 2654435761u + 12345u;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

// A 16-bit page sum stored low byte first, computed here from the rule, not by the code.
inline uint16_t StoredSum(const Memory& m, uint32_t at) {
  return m[at] | (m[at + 1] << 8);
}
inline uint16_t SumOf(const Memory& m, uint32_t first, uint32_t length) {
  uint32_t sum = 0;
  for (uint32_t k = 0; k < length; ++k) sum += m[first + k];
  return static_cast<uint16_t>(sum);
}
inline void PutSum(Memory& m, uint32_t at, uint16_t sum) {
  m[at] = static_cast<uint8_t>(sum);
  m[at + 1] = static_cast<uint8_t>(sum >> 8);
}

struct SettingsRig {
  SettingsRig() : areas(image) {}

  Memory Area(int area) const {
    const uint8_t* first = image.data() + kAreaImageOffset[area];
    return Memory(first, first + kAreaLength);
  }
  void SetArea(int area, const Memory& bytes) {
    std::copy(bytes.begin(), bytes.end(), image.data() + kAreaImageOffset[area]);
  }

  FirmwareImage image;
  SettingsAreas areas;
};

// For tests that use one rig; a table test makes a fresh SettingsRig per case.
struct SettingsFixture : ::testing::Test, SettingsRig {};

// Where two memories first differ, as "0x8123: 12 != 34" (memory 1 addresses), or "".
inline std::string FirstDifference(const Memory& got, const Memory& want, uint32_t base) {
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (got[i] != want[i]) {
      char text[48];
      std::snprintf(text, sizeof text, "0x%04X: got %02X, want %02X", unsigned(base + i), got[i],
                    want[i]);
      return text;
    }
  }
  return "";
}

}  // namespace tavrino::test
