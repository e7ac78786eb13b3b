// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The Starter updater test images, kept as the segments they are laid out from
// (TestUpdaterData.cpp is written by tools/gen_test_updaters.py).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tavrino::test_updaters {

// A run of image bytes; an image is its segments one after another from offset 0,
// then 0xFF up to its full size.
using Segment = std::span<const uint8_t>;

inline constexpr size_t kImageCount = 5;
inline constexpr size_t kSegmentsPerImage = 8;

struct ImagePlan {
  uint8_t flashType;
  const char* chip;
  uint16_t used;  // bytes before the 0xFF fill
  std::array<Segment, kSegmentsPerImage> segments;
};

extern const ImagePlan kImagePlans[kImageCount];

}  // namespace tavrino::test_updaters
