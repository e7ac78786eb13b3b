// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>

namespace tavrino {

// Where the page sums of one settings memory lie inside its work area. A page sum is the
// 16-bit sum of the page's bytes, stored low byte first. The last page is short, so that
// neither the sums themselves nor the bytes just before them are summed.
struct PageSumLayout {
  uint16_t firstPageOffset;
  uint16_t pages;
  uint16_t lastPageLength;
  uint16_t sumsOffset;

  static constexpr uint16_t kPageLength = 256;
  constexpr uint16_t PageLength(uint16_t page) const {
    return page + 1 == pages ? lastPageLength : kPageLength;
  }
  constexpr uint16_t PageOffset(uint16_t page) const {
    return static_cast<uint16_t>(firstPageOffset + kPageLength * page);
  }
};

// Memory 1 (addresses 0x8000..0xFFFF at offsets 0..0x7FFF): pages 0x8000..0xFE5F, sums at
// 0xFF00..0xFFFD. The settings date at 0xFE60 and the block 0xFE80..0xFEFF lie outside.
inline constexpr PageSumLayout kMemory1Sums{0x0000, 127, 96, 0x7F00};
// Memory 2 (addresses 0x8000..0xBFFF, kept in area 0 at offsets 0x4000..0x7FFF): pages
// 0x8000..0xBF7F, sums at 0xBF80..0xBFFF.
inline constexpr PageSumLayout kMemory2Sums{0x4000, 64, 128, 0x7F80};

}  // namespace tavrino
