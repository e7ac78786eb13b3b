// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>

namespace tavrino {

// The three accumulators of the file trailer and of the panel's block checksums:
// Sum16 (seed 0xB094), Xor (seed 0x7A) and Rot (seed 0x3E, add then swap nibbles).
struct HalfChecksum {
  uint16_t sum = 0xB094;
  uint8_t xorValue = 0x7A;
  uint8_t rot = 0x3E;

  void Add(uint8_t b) {
    sum = static_cast<uint16_t>(sum + b);
    xorValue ^= b;
    uint8_t t = static_cast<uint8_t>(rot + b);
    rot = static_cast<uint8_t>((t << 4) | (t >> 4));
  }
  void Add(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) Add(bytes[i]);
  }
  bool operator==(const HalfChecksum&) const = default;
};

// The signature of a 512-byte block, as the panel's ReadFlashChecksum returns it.
inline HalfChecksum BlockChecksum(const uint8_t* bytes, size_t n) {
  HalfChecksum c;
  c.Add(bytes, n);
  return c;
}

}  // namespace tavrino
