// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "SettingsFixture.h"

namespace tavrino::test {
namespace {

using Memory2SumsTest = SettingsFixture;

// Memory 2 lives in area 0 at offsets 0x4000..0x7FFF; its last page stops short of the
// sums at 0xBF80 (offset 0x7F80), so stale sums must not leak into the new ones.
TEST_F(Memory2SumsTest, RefreshStoresEachPageSumAndTheLastPageCoversOnly128Bytes) {
  const Memory before = Scrambled(30);
  SetArea(0, before);

  areas.RefreshMemory2Sums();
  const Memory after = Area(0);

  for (uint32_t page = 0; page < 64; ++page)
    EXPECT_EQ(StoredSum(after, 0x7F80 + 2 * page),
              SumOf(before, 0x4000 + 256 * page, page == 63 ? 128 : 256))
        << "page " << page;
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 0x7F80, after.begin()))
      << "only the sums may change";
  EXPECT_FALSE(areas.Failed());
}

}  // namespace
}  // namespace tavrino::test
