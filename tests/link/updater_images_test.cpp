// SPDX-License-Identifier: GPL-2.0-or-later
// Starter updater images: the test images tavrino-pack writes, and the checks every image
// passes before a byte of it goes into a panel.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "firmware/Sha256.h"
#include "frontend/StatusLog.h"
#include "link/FlashChip.h"
#include "link/StarterRig.h"
#include "link/UpdaterImages.h"

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

class TestImageLayout : public testing::TestWithParam<ImageCase> {};

TEST_P(TestImageLayout, IsLaidOutAsAnUpdaterAndMarkedAsATestImage) {
  const ImageCase c = GetParam();
  const Bytes image = TestUpdaterImage(c.flashType);
  ASSERT_EQ(image.size(), kUpdaterImageSize);

  for (size_t vector : {0x00, 0x03, 0x0B, 0x13, 0x1B, 0x23, 0x2B}) {
    const int target = JumpTarget(image, vector);
    EXPECT_GE(target, 0x80) << "vector " << vector << " jumps into the code";
    EXPECT_LT(target, static_cast<int>(c.used)) << "vector " << vector;
  }
  const std::string banner = "\r\n\r\nTavrino Starter updater 3.1 (" + std::string(c.chip) +
                             ") TEST IMAGE, not for panels\r\n";
  EXPECT_EQ(Text(image).substr(52, banner.size()), banner);
  EXPECT_GT(Text(image).find("Starter 3.1 eng"), 0x800u) << "the Starter follows the updater";
  EXPECT_EQ(UsedLength(image), c.used);

  EXPECT_EQ(CheckUpdaterImage(image, c.chip, /*allowTestImages=*/true), "");
  EXPECT_EQ(CheckUpdaterImage(image, c.chip, false), "test image, not for panels");
  // The chip the panel reports decides which file is looked for.
  EXPECT_STREQ(FindFlashChip(c.flashType)->updaterChip, c.chip);
}

INSTANTIATE_TEST_SUITE_P(EachChip, TestImageLayout,
                         testing::Values(ImageCase{1, "AT29C040A", 6523},
                                         ImageCase{2, "AM29F040B", 6908},
                                         ImageCase{4, "W29C040", 6523},
                                         ImageCase{5, "M29F040B", 6909},
                                         ImageCase{6, "A29040B", 6910}),
                         [](const auto& info) { return std::string(info.param.chip); });

struct CheckCase {
  const char* name;
  std::function<void(Bytes&)> change;
  const char* chip;
  std::string reason;  // empty: the image is taken
  bool allowTestImages = true;
};

void Put(Bytes& image, size_t at, const std::string& text) {
  std::copy(text.begin(), text.end(), image.begin() + static_cast<long>(at));
}

// clang-format off
const CheckCase kCheckCases[] = {
    {"AsMade", [](Bytes&) {}, "AM29F040B", ""},
    {"ChipNamedInAnyCase", [](Bytes&) {}, "Am29f040b", ""},
    {"OneByteShort", [](Bytes& b) { b.pop_back(); }, "AM29F040B", "8447 bytes, not 8448"},
    {"OneByteLong", [](Bytes& b) { b.push_back(0xFF); }, "AM29F040B", "8449 bytes, not 8448"},
    {"Empty", [](Bytes& b) { b.clear(); }, "AM29F040B", "0 bytes, not 8448"},
    {"LastByteNotErased", [](Bytes& b) { b.back() = 0x00; }, "AM29F040B",
     "not 0xFF after its code"},
    {"CodeRunsIntoTheFill", [](Bytes& b) { b[0x1D00] = 0x12; }, "AM29F040B",
     "not 0xFF after its code"},
    {"NoLongJump", [](Bytes& b) { b[0] = 0x01; }, "AM29F040B", "no long jump at its start"},
    {"JumpIntoTheVectors", [](Bytes& b) { b[1] = 0x00; b[2] = 0x10; }, "AM29F040B",
     "jumps outside its code"},
    {"JumpIntoTheFill", [](Bytes& b) { b[1] = 0x1C; b[2] = 0x00; }, "AM29F040B",
     "jumps outside its code"},
    {"NoBanner", [](Bytes& b) { b[53] = 'X'; }, "AM29F040B", "no banner at offset 52"},
    {"BannerLineNeverEnds", [](Bytes& b) { std::fill(b.begin() + 56, b.begin() + 0x100, 'x'); },
     "AM29F040B", "no banner at offset 52"},
    {"ControlByteInTheBanner", [](Bytes& b) { b[60] = 0x07; }, "AM29F040B",
     "no banner at offset 52"},
    {"AnotherChip", [](Bytes&) {}, "W29C040", "not for the W29C040"},
    // M29F040B is inside AM29F040B: a name counts only as a word of its own.
    {"NameInsideAnotherChipsName", [](Bytes&) {}, "M29F040B",
     "not for the M29F040B"},
    {"MarkedTestImageWithoutTheVariable", [](Bytes&) {}, "AM29F040B",
     "test image, not for panels", false},
    {"UnmarkedImageWithoutTheVariable",
     [](Bytes& b) { Put(b, 56, "Starter updater 3.1 QZ-17 AM29F040B 2006 (c) maker\r\n"); },
     "AM29F040B", "", false},
    // The mark counts in any case.
    {"MarkInOtherCaseWithoutTheVariable",
     [](Bytes& b) { Put(b, 56, "Tavrino Starter updater 3.1 (AM29F040B) Test Image, not for panels"); },
     "AM29F040B", "test image, not for panels", false},
    // An updater programs one chip: the panel's, and no other.
    {"BannerNamesAnotherUpdaterChipToo",
     [](Bytes& b) { Put(b, 56, "Starter updater 3.1 QZ-17 AM29F040B/W29C040 (c) maker\r\n"); },
     "AM29F040B", "names the W29C040 too", false},
    {"BannerNamesAChipWithoutUpdaterToo",
     [](Bytes& b) { Put(b, 56, "Starter updater 3.1 QZ-17 mx29f040, AM29F040B (c) maker\r\n"); },
     "AM29F040B", "names the MX29F040 too", false},
    {"BannerNamesThePanelsChipTwice",
     [](Bytes& b) { Put(b, 56, "Starter updater 3.1 AM29F040B (am29f040b) (c) maker\r\n"); },
     "AM29F040B", "", false},
};
// clang-format on

// A refusal goes on one line of the log, beside the longest updater file name.
bool FitsTheLog(const std::string& reason) {
  const std::string line = "Updater AT29C040A.bin refused: " + reason;
  return line.size() <= static_cast<size_t>(StatusLog::kColumns);
}

class UpdaterCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(UpdaterCheck, TakesOnlyAWholeUpdaterForThePanelsChip) {
  const CheckCase& c = GetParam();
  Bytes image = TestUpdaterImage(2);
  c.change(image);
  EXPECT_EQ(CheckUpdaterImage(image, c.chip, c.allowTestImages), c.reason);
  EXPECT_TRUE(FitsTheLog(c.reason));
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdaterCheck, testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UpdaterSums, TheImageMustMatchItsOwnLineInTheList) {
  const Bytes image = TestUpdaterImage(2);
  const std::string sum = Sha256::Hex(Sha256::Of(image));
  std::string upper = sum;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  const std::string other(64, '0');
  const std::string name = "AM29F040B.bin";
  struct {
    std::string list;
    std::string reason;
  } cases[] = {
      {sum + "  " + name + "\n", ""},
      {other + "  W29C040.bin\n" + sum + " *" + name + "\r\n", ""},
      {upper + "  " + name, ""},
      {other + "  " + name + "\n", "SHA-256 not as in SHA256SUMS"},
      // A line for another file, or one that is not a sum line, says nothing for this one.
      {sum + "  X" + name + "\n" + sum + name + "\n", "not listed in SHA256SUMS"},
      {"", "not listed in SHA256SUMS"},
      // Two sums for one name vouch for neither, whichever comes first.
      {sum + "  " + name + "\n" + other + "  " + name + "\n", "two sums in SHA256SUMS"},
      {other + "  " + name + "\n" + sum + "  " + name + "\n", "two sums in SHA256SUMS"},
      {sum + "  " + name + "\n" + upper + " *" + name + "\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    EXPECT_EQ(CheckListedSum(image, c.list, name), c.reason);
    EXPECT_TRUE(FitsTheLog(c.reason));
  }
}

TEST(UpdaterFolder, TheGivenFolderThenTheVariableThenTheInstalledFolder) {
  EXPECT_EQ(UpdaterFolder("/given", "/from/the/variable"), "/given");
  EXPECT_EQ(UpdaterFolder("", "/from/the/variable"), "/from/the/variable");
  EXPECT_EQ(UpdaterFolder("", ""), InstalledUpdaterFolder());
  EXPECT_EQ(UpdaterFolder("", nullptr), InstalledUpdaterFolder());
  EXPECT_EQ(InstalledUpdaterFolder().filename(), "updaters");
}

TEST(LoadUpdaterImage, WhatIsNotAReadableFileIsRefusedByName) {
  TestUpdaterFolder folder(/*withTestImages=*/false);
  std::filesystem::create_directory(folder.Path() / "AM29F040B.bin");
  const UpdaterImage image = LoadUpdaterImage("AM29F040B", folder.Path(), true);
  EXPECT_FALSE(image.Usable());
  EXPECT_EQ(image.line.rfind("Updater AM29F040B.bin refused: ", 0), 0u) << image.line;
  EXPECT_NE(image.details.find((folder.Path() / "AM29F040B.bin").string()), std::string::npos);
}

}  // namespace
}  // namespace tavrino::test
