// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tavrino {

// Every byte of a .17 file is substituted through DescrambleTable, then un-keyed with a
// 29-byte short key (subtracted) and a 227-byte long key (xored). Both key positions
// advance with every byte, so the key phase of a byte is its distance from the start of
// its section.
inline constexpr uint16_t kLongKeyLength = 227;
inline constexpr uint16_t kShortKeyLength = 29;

extern const std::array<uint8_t, 256> DescrambleTable;
// Entries 0..226: the long key; entries 227..255: the short key.
extern const std::array<uint8_t, 256> DescrambleKey;
// The inverse of DescrambleTable, for writing files.
extern const std::array<uint8_t, 256> ScrambleTable;

// Both keys come round together after kKeyPeriod bytes.
inline constexpr uint16_t kKeyPeriod = kShortKeyLength * kLongKeyLength;

// The position in both keys; zero at the start of a section.
struct KeyPhase {
  uint16_t Position = 0;  // 0..kKeyPeriod-1: the distance from the section start, wrapped

  // The phase of the byte that lies `distance` bytes after the start of its section.
  static KeyPhase At(int64_t distance);
  uint16_t ShortKeyIndex() const { return Position % kShortKeyLength; }  // 0..28
  uint16_t LongKeyIndex() const { return Position % kLongKeyLength; }    // 0..226
  bool operator==(const KeyPhase&) const = default;
};

// In place, advancing the phase by n.
void DescrambleBytes(uint8_t* bytes, size_t n, KeyPhase& phase);
void ScrambleBytes(uint8_t* bytes, size_t n, KeyPhase& phase);

}  // namespace tavrino
