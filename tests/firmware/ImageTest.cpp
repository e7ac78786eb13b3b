// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "firmware/FirmwareImage.h"

namespace tavrino {
namespace {

TEST(FirmwareImageTest, AccessesOutsideTheArrayAreRefusedAndMoveNothing) {
  struct Case {
    uint32_t offset, count;
    bool inside;
  } cases[] = {{0, kFirmwareImageSize, true},
               {kFirmwareImageSize - 1, 1, true},
               {kFirmwareImageSize, 0, true},
               {kFirmwareImageSize, 1, false},
               {kFirmwareImageSize - 1, 2, false},
               {0xFFFFFFFF, 2, false},  // offset + count wraps round to 1
               {1, 0xFFFFFFFF, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.offset << " " << c.count);
    FirmwareImage image;
    std::vector<uint8_t> ones(kFirmwareImageSize + 1, 0x11);
    EXPECT_EQ(image.ImageStore(c.offset, ones.data(), c.count), c.inside);
    const size_t stored =
        static_cast<size_t>(std::count(image.data(), image.data() + kFirmwareImageSize, 0x11));
    EXPECT_EQ(stored, c.inside ? c.count : 0u);

    std::vector<uint8_t> out(kFirmwareImageSize + 1, 0x22);
    EXPECT_EQ(image.ImageLoad(c.offset, out.data(), c.count), c.inside);
    const size_t loaded = static_cast<size_t>(std::count(out.begin(), out.end(), 0x11));
    EXPECT_EQ(loaded, c.inside ? c.count : 0u);
  }
}

TEST(FirmwareImageTest, ProgramBytesComeFromHalfTwoOnlyForATwoHalfFileOnA24MHzBoard) {
  struct Case {
    bool twoHalves;
    ProgramHalf panelHalf;
    uint8_t expected;
  } cases[] = {{false, ProgramHalf::First, 1},
               {false, ProgramHalf::Second, 1},
               {true, ProgramHalf::First, 1},
               {true, ProgramHalf::Second, 2}};
  for (const auto& c : cases) {
    FirmwareImage image;
    const uint8_t one = 1, two = 2;
    image.ImageStore(0x1234, &one, 1);
    image.ImageStore(kHalfSize + 0x1234, &two, 1);
    image.FileHasTwoHalves = c.twoHalves;
    EXPECT_EQ(image.ProgramByte(c.panelHalf, 0x1234), c.expected);
  }
  FirmwareImage image;
  image.FileHasTwoHalves = true;
  uint8_t b = 0x55;
  // Half 2 must not reach back into half 1 nor past the array.
  EXPECT_FALSE(
      image.ReadProgramBytes(ProgramHalf::Second, -static_cast<int32_t>(kHalfSize), &b, 1));
  EXPECT_FALSE(image.ReadProgramBytes(ProgramHalf::Second,
                                      static_cast<int32_t>(kFirmwareImageSize - kHalfSize), &b, 1));
  EXPECT_EQ(b, 0x55);
}

}  // namespace
}  // namespace tavrino
