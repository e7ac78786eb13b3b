// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A sample program for the tests that need a firmware file: plausible bytes from a fixed
// pseudo-random sequence, with the last 64 KiB left erased as real programs leave them.
// scripts/demo.sh makes the same bytes with awk.
#include <cstdint>
#include <string>
#include <vector>

namespace tavrino::test {

inline constexpr size_t kPlainHalfSize = 0x5FFFC;
inline constexpr size_t kSampleUsedBytes = 0x50000;
inline constexpr size_t kVersionRecordAt = 0x12000;

inline std::vector<uint8_t> SampleHalf() {
  std::vector<uint8_t> half(kPlainHalfSize, 0xFF);
  uint32_t s = 12345;
  for (size_t i = 0; i < kSampleUsedBytes; ++i) {
    s = s * 69069u + 1u;
    half[i] = static_cast<uint8_t>(s >> 16);
  }
  return half;
}

// The half as the packer leaves it with --stamp: five version characters and the language.
inline std::vector<uint8_t> StampedSampleHalf(const std::string& fiveChars, uint8_t language) {
  std::vector<uint8_t> half = SampleHalf();
  for (size_t i = 0; i < 5; ++i) half[kVersionRecordAt + i] = static_cast<uint8_t>(fiveChars[i]);
  half[kVersionRecordAt + 5] = language;
  return half;
}

}  // namespace tavrino::test
