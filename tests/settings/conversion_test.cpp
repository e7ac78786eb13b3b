// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "ConversionExpectations.h"

namespace tavrino::test {
namespace {

using ConversionTest = SettingsFixture;

void ExpectMemory1SumsValid(const Memory& m) {
  for (uint32_t page = 0; page < 127; ++page)
    EXPECT_EQ(StoredSum(m, 0x7F00 + 2 * page), SumOf(m, 256 * page, page == 126 ? 96 : 256))
        << "page " << page;
}

TEST_F(ConversionTest, EveryByteOfTheNewLayoutComesFromItsRunOrTheListedDefaults) {
  struct Direction {
    const char* panel;
    const char* file;
    bool to104;
  };
  for (const Direction d : {Direction{"103", "104", true}, Direction{"104", "103", false}}) {
    SCOPED_TRACE(std::string(d.panel) + " -> " + d.file);
    SettingsRig f;
    const Memory old = Scrambled(d.to104 ? 1 : 2);
    f.SetArea(0, Scrambled(3));
    f.SetArea(1, old);
    f.SetArea(2, Scrambled(4));

    ASSERT_TRUE(f.areas.ConvertSettings(d.panel, d.file));

    EXPECT_EQ(FirstDifference(f.Area(2), ExpectedConversion(old, d.to104), kBase), "");
    EXPECT_EQ(f.Area(1), old) << "the old memory must stay as read";
    EXPECT_EQ(f.Area(0), Scrambled(3)) << "memory 2 is not part of the conversion";
    EXPECT_FALSE(f.areas.Failed());
  }
}

TEST_F(ConversionTest, From103To104MovesTheZoneNamesAndKeepsTheDateAndTheTail) {
  const Memory old = Scrambled(5);
  SetArea(1, old);
  ASSERT_TRUE(areas.ConvertSettings("103", "104"));
  const Memory m = Area(2);

  EXPECT_TRUE(std::equal(&old[0x01C0], &old[0x01C0] + 1024, &m[0x0000]));
  EXPECT_EQ(std::string(&m[0xBC00 - kBase], &m[0xBC10 - kBase]), "Schedule 1      ");
  for (uint32_t a = 0xFE80; a <= 0xFEFF; ++a) ASSERT_EQ(m[a - kBase], 0xFF) << std::hex << a;
  for (uint32_t a : {0xFE60u, 0xFE6Fu, 0xFE7Fu, 0xFFFEu, 0xFFFFu})
    EXPECT_EQ(m[a - kBase], old[a - kBase]) << std::hex << a;
  ExpectMemory1SumsValid(m);
}

TEST_F(ConversionTest, RoundTripRestoresEveryCoveredByteAndListedDefaultsElsewhere) {
  const Memory original = Scrambled(6);
  SetArea(1, original);
  ASSERT_TRUE(areas.ConvertSettings("103", "104"));
  SetArea(1, Area(2));
  ASSERT_TRUE(areas.ConvertSettings("104", "103"));
  const Memory back = Area(2);

  const std::vector<int> covered = Coverage(false);
  const Memory defaults = ListedDefaults(false);
  for (uint32_t a = kBase; a <= 0xFFFF; ++a) {
    const uint32_t i = a - kBase;
    if ((a >= 0xFE80 && a <= 0xFEFF) || (a >= 0xFF00 && a <= 0xFFFD)) continue;
    ASSERT_EQ(back[i], covered[i] ? original[i] : defaults[i]) << "address 0x" << std::hex << a;
  }
  ExpectMemory1SumsValid(back);
}

TEST_F(ConversionTest, AnyOtherVersionPairIsAnInternalErrorThatChangesNothing) {
  const std::pair<const char*, const char*> pairs[] = {
      {"103", "103"}, {"104", "104"}, {"102", "104"}, {"104", "105"}, {"", ""}, {"1030", "104"}};
  for (const auto& [panel, file] : pairs) {
    SCOPED_TRACE(std::string(panel) + " -> " + file);
    SettingsRig f;
    for (int a = 0; a < 3; ++a) f.SetArea(a, Scrambled(10 + a));

    EXPECT_FALSE(f.areas.ConvertSettings(panel, file));

    EXPECT_TRUE(f.areas.Fault() == SettingsFault{SettingsFault::Kind::Conversion});
    for (int a = 0; a < 3; ++a) EXPECT_EQ(f.Area(a), Scrambled(10 + a)) << "area " << a;
  }
}

TEST_F(ConversionTest, PlainCopyTakesMemory1OverUnchanged) {
  SetArea(0, Scrambled(20));
  SetArea(1, Scrambled(21));
  SetArea(2, Scrambled(22));
  areas.CopyMemory1Unchanged();
  EXPECT_EQ(Area(2), Scrambled(21));
  EXPECT_EQ(Area(1), Scrambled(21));
  EXPECT_EQ(Area(0), Scrambled(20));
  EXPECT_FALSE(areas.Failed());
}

}  // namespace
}  // namespace tavrino::test
