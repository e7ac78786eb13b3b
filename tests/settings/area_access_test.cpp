// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "SettingsFixture.h"

namespace tavrino::test {
namespace {

using AreaAccessTest = SettingsFixture;

struct AccessCase {
  bool write;
  uint8_t area;
  uint16_t offset;
  uint16_t count;
  const char* box;  // nullptr: the access is done
};

TEST_F(AreaAccessTest, AccessesUpToTheAreaEndAreDoneAndPastItRefusedWithTheirBox) {
  const AccessCase cases[] = {
      {true, 2, 0x7FFF, 1, nullptr},     // the last byte
      {true, 2, 0x7FFF, 2, "Error 2w"},  // one byte past the end
      {false, 0, 0x7F01, 255, nullptr},  // ends exactly at 0x8000
      {false, 1, 0x7F02, 255, "Error 1r"},   {true, 1, 0x0000, 255, nullptr},
      {false, 2, 0x8000, 0, nullptr},    // empty, at the end
      {true, 0, 0xFFFF, 2, "Error 0w"},  // end would wrap round in 16 bits
      {false, 0, 0x8000, 1, "Error 0r"},     {false, 1, 0xFFFF, 1, "Error 1r"},
      {true, 3, 0x0000, 1, "Error 3w"},  // no such area
      {false, 255, 0x0000, 1, "Error 255r"},
  };
  for (const AccessCase& c : cases) {
    SCOPED_TRACE(std::string(c.write ? "write" : "read") + " area " + std::to_string(c.area) +
                 " offset " + std::to_string(c.offset) + " count " + std::to_string(c.count));
    SettingsRig f;
    for (int a = 0; a < 3; ++a) f.SetArea(a, Scrambled(100 + a));
    const Memory before(f.image.data(), f.image.data() + kFirmwareImageSize);
    Memory buffer = Scrambled(c.offset + c.count, 255);
    const Memory original = buffer;

    const bool done = c.write ? f.areas.WriteSettingsArea(c.area, c.offset, buffer.data(), c.count)
                              : f.areas.ReadSettingsArea(c.area, c.offset, buffer.data(), c.count);

    if (c.box == nullptr) {
      EXPECT_TRUE(done);
      EXPECT_FALSE(f.areas.Failed());
      EXPECT_TRUE(f.ui.boxes.empty());
      EXPECT_EQ(f.ui.quitRequests, 0);
      const Memory area = f.Area(c.area);
      for (uint16_t k = 0; k < c.count; ++k) {
        const uint8_t moved = c.write ? area[c.offset + k] : buffer[k];
        const uint8_t source = c.write ? original[k] : area[c.offset + k];
        ASSERT_EQ(moved, source) << "byte " << k;
      }
    } else {
      EXPECT_FALSE(done);
      EXPECT_TRUE(f.areas.Failed());
      ASSERT_EQ(f.ui.boxes.size(), 1u);
      EXPECT_EQ(f.ui.boxes[0].text, c.box);
      EXPECT_TRUE(f.ui.boxes[0].infoOnly);
      EXPECT_EQ(f.ui.quitRequests, 1);
      EXPECT_EQ(buffer, original) << "a refused read filled the buffer";
      EXPECT_TRUE(std::equal(before.begin(), before.end(), f.image.data()))
          << "a refused access moved bytes";
    }
  }
}

TEST_F(AreaAccessTest, EachAreaIsItsOwnSliceAtTheEndOfTheImage) {
  const uint8_t marks[3] = {0xA0, 0xA1, 0xA2};
  for (uint8_t area = 0; area < 3; ++area) {
    ASSERT_TRUE(areas.WriteSettingsArea(area, 0, &marks[area], 1));
    ASSERT_TRUE(areas.WriteSettingsArea(area, 0x7FFF, &marks[area], 1));
  }
  for (int area = 0; area < 3; ++area) {
    EXPECT_EQ(image.data()[kAreaImageOffset[area]], marks[area]);
    EXPECT_EQ(image.data()[kAreaImageOffset[area] + 0x7FFF], marks[area]);
  }
  EXPECT_EQ(image.data()[0xBFFFF], 0) << "the program halves are not part of an area";
  EXPECT_EQ(std::count(image.data(), image.data() + kFirmwareImageSize, 0), kFirmwareImageSize - 6);
}

}  // namespace
}  // namespace tavrino::test
