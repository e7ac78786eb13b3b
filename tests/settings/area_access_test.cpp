// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "SettingsFixture.h"

namespace tavrino::test {
namespace {

using AreaAccessTest = SettingsFixture;

constexpr SettingsFault kDone{};
constexpr SettingsFault Wrote(uint8_t area) {
  return {SettingsFault::Kind::Write, area};
}
constexpr SettingsFault Read(uint8_t area) {
  return {SettingsFault::Kind::Read, area};
}

struct AccessCase {
  bool write;
  uint8_t area;
  uint16_t offset;
  uint16_t count;
  SettingsFault fault;  // kDone: the access is done
};

TEST_F(AreaAccessTest, AccessesUpToTheAreaEndAreDoneAndPastItRefusedAsTheirFault) {
  const AccessCase cases[] = {
      {true, 2, 0x7FFF, 1, kDone},     // the last byte
      {true, 2, 0x7FFF, 2, Wrote(2)},  // one byte past the end
      {false, 0, 0x7F01, 255, kDone},  // ends exactly at 0x8000
      {false, 1, 0x7F02, 255, Read(1)},   {true, 1, 0x0000, 255, kDone},
      {false, 2, 0x8000, 0, kDone},    // empty, at the end
      {true, 0, 0xFFFF, 2, Wrote(0)},  // end would wrap round in 16 bits
      {false, 0, 0x8000, 1, Read(0)},     {false, 1, 0xFFFF, 1, Read(1)},
      {true, 3, 0x0000, 1, Wrote(3)},  // no such area
      {false, 255, 0x0000, 1, Read(255)},
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

    EXPECT_TRUE(f.areas.Fault() == c.fault);
    if (!c.fault) {
      EXPECT_TRUE(done);
      const Memory area = f.Area(c.area);
      for (uint16_t k = 0; k < c.count; ++k) {
        const uint8_t moved = c.write ? area[c.offset + k] : buffer[k];
        const uint8_t source = c.write ? original[k] : area[c.offset + k];
        ASSERT_EQ(moved, source) << "byte " << k;
      }
    } else {
      EXPECT_FALSE(done);
      EXPECT_EQ(buffer, original) << "a refused read filled the buffer";
      EXPECT_TRUE(std::equal(before.begin(), before.end(), f.image.data()))
          << "a refused access moved bytes";
    }
  }
}

// The first fault is the one the run tells; a done access after it does not clear it.
TEST_F(AreaAccessTest, TheFirstFaultIsKeptUntilReset) {
  uint8_t byte = 0;
  EXPECT_FALSE(areas.ReadSettingsArea(1, 0x8000, &byte, 1));
  EXPECT_FALSE(areas.WriteSettingsArea(2, 0x8000, &byte, 1));
  EXPECT_TRUE(areas.ReadSettingsArea(0, 0, &byte, 1));
  EXPECT_TRUE(areas.Fault() == Read(1));
  areas.Reset();
  EXPECT_FALSE(areas.Failed());
  EXPECT_TRUE(areas.WriteSettingsArea(2, 0, &byte, 1));
  EXPECT_FALSE(areas.Failed());
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
