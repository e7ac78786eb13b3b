// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ConversionExpectations.h"
#include "settings/DefaultSettings.h"

namespace tavrino::test {
namespace {

Memory AsMemory(const SettingsImage& image) {
  return Memory(image.begin(), image.end());
}

bool Holds(const Memory& m, const std::string& text) {
  return std::search(m.begin(), m.end(), text.begin(), text.end()) != m.end();
}

TEST(DefaultSettingsTest, ImagesHoldTheListedBytesTheDateNamesAndValidSums) {
  struct Layout {
    const char* name;
    Memory image;
    bool is104;
    std::vector<std::string> names;
  };
  const Layout layouts[] = {
      {"103",
       AsMemory(DefaultSettings103()),
       false,
       {"Zone (MP) 01    ", "Output (MP) 01  ", "Partition 01    ", "Timer 01        ",
        "Expander 01     ", "Tel. number 01  ", "Master user 1   ", "User   1        "}},
      {"104",
       AsMemory(DefaultSettings104()),
       true,
       {"Zone 01         ", "Output 01       ", "LCD keypad 1    ", "Partition 01    ",
        "Timer 01        ", "Expander 01     ", "Master user 1   ", "User   1        "}},
  };
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.name);
    const Memory& m = l.image;
    const Memory listed = ListedDefaults(l.is104);
    const std::vector<int> covered = Coverage(l.is104);
    for (uint32_t a = kBase; a < 0xE2E0; ++a) {
      if (!covered[a - kBase]) {
        ASSERT_EQ(m[a - kBase], listed[a - kBase]) << std::hex << a;
      }
    }

    EXPECT_EQ(std::string(&m[0xFE60 - kBase], &m[0xFE71 - kBase]), "2002-04-15 09:22:");
    for (const std::string& name : l.names) EXPECT_TRUE(Holds(m, name)) << name;
    for (uint32_t page = 0; page < 127; ++page)
      EXPECT_EQ(StoredSum(m, 0x7F00 + 2 * page), SumOf(m, 256 * page, page == 126 ? 96 : 256))
          << "page " << page;
  }
  EXPECT_FALSE(Holds(AsMemory(DefaultSettings103()), "Schedule"));
}

}  // namespace
}  // namespace tavrino::test
