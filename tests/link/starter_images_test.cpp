// The built-in updater images: their size, layout and the bytes the panel relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/StarterRig.h"

namespace tavrino::test {
namespace {

size_t UsedLength(const Bytes& image) {
  size_t used = image.size();
  while (used > 0 && image[used - 1] == 0xFF) --used;
  return used;
}

std::string Text(const Bytes& image) {
  return std::string(image.begin(), image.end());
}

// Where an LJMP (02 hi lo) or an AJMP (aaa00001 lo, within the first 2 KiB) at offset jumps,
// or -1 when there is no jump.
int JumpTarget(const Bytes& image, size_t offset) {
  const uint8_t op = image[offset];
  if (op == 0x02) return image[offset + 1] << 8 | image[offset + 2];
  if ((op & 0x1F) == 0x01) return (op >> 5) << 8 | image[offset + 1];
  return -1;
}

struct ImageCase {
  uint8_t flashType;
  const char* chip;
  size_t used;
};

class StarterImageLayout : public testing::TestWithParam<ImageCase> {};

TEST_P(StarterImageLayout, VectorsBannersAndFillAreWhereThePanelLooks) {
  const ImageCase c = GetParam();
  ASSERT_TRUE(HasStarterImage(c.flashType));
  const Bytes image = UpdaterImage(c.flashType);

  EXPECT_EQ(image[0], 0x02) << "reset vector is a long jump";
  for (size_t vector : {0x00, 0x03, 0x0B, 0x13, 0x1B, 0x23, 0x2B}) {
    const int target = JumpTarget(image, vector);
    EXPECT_GE(target, 0x80) << "vector " << vector << " jumps into the code";
    EXPECT_LT(target, static_cast<int>(c.used)) << "vector " << vector;
  }

  const std::string banner = "\r\n\r\nTavrino Starter updater 3.1 for QZ-17 (" +
                             std::string(c.chip) + ") 2006 Tavrino\r\n";
  EXPECT_EQ(Text(image).substr(52, banner.size()), banner);
  const size_t starterBanner = Text(image).find("Starter 3.1 eng");
  EXPECT_NE(starterBanner, std::string::npos);
  EXPECT_GT(starterBanner, 0x800u) << "the Starter's banner follows the updater code";
  EXPECT_NE(Text(image).find("Programming...  "), std::string::npos) << "keypad texts";

  EXPECT_EQ(UsedLength(image), c.used);
  EXPECT_EQ(SelectStarterImage(c.flashType, kStarterImageSize - 1), 0xFF);
}

INSTANTIATE_TEST_SUITE_P(EachChip, StarterImageLayout,
                         testing::Values(ImageCase{1, "AT29C040A", 6523},
                                         ImageCase{2, "Am29F040B", 6908},
                                         ImageCase{4, "W29C040", 6523},
                                         ImageCase{5, "M29F040B", 6909},
                                         ImageCase{6, "A29040B", 6910}));

// Bytes that differ, leaving out the banner line (52..0x7F), which names the chip.
size_t Differences(const Bytes& a, const Bytes& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i] && (i < 52 || i >= 0x80);
  return n;
}

TEST(StarterImages, PageWriteChipsShareCodeAndTheOthersDifferInTheirProgrammingCode) {
  // AT29C040A and W29C040: beside the banner, only the chip's identification bytes.
  const size_t pageChips = Differences(UpdaterImage(1), UpdaterImage(4));
  EXPECT_GT(pageChips, 0u);
  EXPECT_LE(pageChips, 2u);
  // The sector-erase chips each program their flash their own way.
  EXPECT_GT(Differences(UpdaterImage(2), UpdaterImage(5)), 200u);
  EXPECT_GT(Differences(UpdaterImage(5), UpdaterImage(6)), 200u);
  EXPECT_GT(Differences(UpdaterImage(1), UpdaterImage(2)), 200u);
}

TEST(StarterImages, OnlyTheFiveChipsHaveAnImage) {
  for (int type : {0, 3, 7, 255}) EXPECT_FALSE(HasStarterImage(static_cast<uint8_t>(type)));
}

TEST(StarterImagesDeathTest, AnyOtherChipOrPositionEndsTheProgramWithAMessage) {
  EXPECT_EXIT(SelectStarterImage(3, 0), testing::ExitedWithCode(70),
              "internal error: no Starter updater image for flash type 3");
  EXPECT_EXIT(SelectStarterImage(0, 0), testing::ExitedWithCode(70), "flash type 0");
  EXPECT_EXIT(SelectStarterImage(1, kStarterImageSize), testing::ExitedWithCode(70),
              "position out of range");
}

}  // namespace
}  // namespace tavrino::test
