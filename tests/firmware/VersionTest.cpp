// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "firmware/Version.h"

namespace tavrino {
namespace {

TEST(VersionTest, TheLanguageIsShownFromVersion10303On) {
  struct Case {
    const char* chars;
    uint8_t language;
    const char* text;
  } cases[] = {{"10302", 1, "1.03.02"},
               {"10303", 1, "1.03.03 eng"},
               {"10400", 0, "1.04.00 pol"},
               {"20000", 8, "2.00.00 hun"},
               {"10402", 9, "1.04.02 ???"},
               {"10402", 0xFF, "1.04.02 ???"},
               {"09999", 1, "0.99.99"},
               // Erased flash reads 0xFF, which sorts above every digit.
               {"\xFF\xFF\xFF\xFF\xFF", 0xFF, "\xFF.\xFF\xFF.\xFF\xFF ???"}};
  for (const auto& c : cases) EXPECT_EQ(VersionText(c.chars, c.language), c.text) << c.text;
}

TEST(VersionTest, AnErasedLanguageByteReadsPolishOnlyWhereAsked) {
  EXPECT_EQ(LanguageSuffix(0xFF, true), " pol");
  EXPECT_EQ(LanguageSuffix(0xFF, false), " ???");
  EXPECT_EQ(LanguageSuffix(7, true), " cze");
  EXPECT_EQ(LanguageSuffix(9, true), " ???");
}

TEST(VersionTest, TextLessComparesUnsignedBytesAndAPrefixIsSmaller) {
  EXPECT_TRUE(TextLess("1.03", "1.03.03"));
  EXPECT_FALSE(TextLess("1.03.03", "1.03"));
  EXPECT_FALSE(TextLess("1.03.03", "1.03.03"));
  EXPECT_TRUE(TextLess("1.03.02 eng", "1.03.03"));
  EXPECT_TRUE(TextLess("9", "\xA3"));
}

}  // namespace
}  // namespace tavrino
