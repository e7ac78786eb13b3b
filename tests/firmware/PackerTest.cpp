// SPDX-License-Identifier: GPL-2.0-or-later
#include <sys/stat.h>

#include "FirmwareFixture.h"

namespace tavrino::test {
namespace {

TEST(PackerTest, VersionStampsAreParsedStrictly) {
  VersionStamp stamp;
  std::string error;
  ASSERT_TRUE(ParseVersionStamp("1.04.02:1", stamp, error));
  EXPECT_EQ(stamp.chars, "10402");
  EXPECT_EQ(stamp.language, 1);
  ASSERT_TRUE(ParseVersionStamp("2.00.00:255", stamp, error));
  EXPECT_EQ(stamp.language, 255);
  for (const char* bad : {"", "1.04.02", "1.04.02:", "1.04.02:256", "1.04.02:1x", "1.04.02:0001",
                          "1.4.02:1", "a.04.02:1", "1-04-02:1", "1.04.02:-1"}) {
    error.clear();
    EXPECT_FALSE(ParseVersionStamp(bad, stamp, error)) << bad;
    EXPECT_NE(error.find("version stamp"), std::string::npos) << bad;
  }
}

TEST(PackerTest, OnlyOneOrTwoHalvesOfAHalfsSizeArePacked) {
  std::vector<uint8_t> file;
  std::string error;
  const std::vector<uint8_t> good(kProgramBytes), whole(kHalfSize);
  EXPECT_TRUE(PackFirmware({good, whole}, nullptr, file, error));
  EXPECT_EQ(file.size(), 2u * kHalfSize);
  struct Case {
    std::vector<std::vector<uint8_t>> halves;
    const char* message;
  } cases[] = {{{}, "one or two halves"},
               {{good, good, good}, "one or two halves"},
               {{std::vector<uint8_t>(kProgramBytes - 1)}, "half 1 has 393211 bytes"},
               {{good, std::vector<uint8_t>(kHalfSize + 1)}, "half 2 has 393217 bytes"}};
  for (const auto& c : cases) {
    EXPECT_FALSE(PackFirmware(c.halves, nullptr, file, error)) << c.message;
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  const VersionStamp shortStamp{"104", 1, false};
  EXPECT_FALSE(PackFirmware({good}, &shortStamp, file, error));
  EXPECT_NE(error.find("five version characters"), std::string::npos) << error;
}

class PackedFileTest : public FirmwareFixture {};

TEST_F(PackedFileTest, AWholeHalfHasItsTrailerReplaced) {
  std::vector<uint8_t> whole = PlainHalf(5);
  whole.insert(whole.end(), {0xDE, 0xAD, 0xBE, 0xEF});
  ASSERT_TRUE(Load(dir.Write("whole.17", Pack({whole}))));
  EXPECT_TRUE(ProgramBytes() == PlainHalf(5));
}

TEST_F(PackedFileTest, WritingReplacesTheFileWholeOrLeavesNothingBehind) {
  const std::vector<uint8_t> bytes = Pack({PlainHalf(1)});
  const std::string out = (dir.path() / "out.17").string();
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(out, {1, 2, 3}, error)) << error;
  ASSERT_TRUE(WriteFileAtomically(out, bytes, error)) << error;
  EXPECT_TRUE(Load(out));

  for (const std::string& bad :
       {(dir.path() / "no" / "such" / "dir.17").string(), dir.path().string()}) {
    error.clear();
    EXPECT_FALSE(WriteFileAtomically(bad, bytes, error)) << bad;
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  }
  // Only the good file is in the folder: no temporary file was left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(PackedFileTest, PlainHalvesAreReadOnlyFromFilesOfAHalfsSize) {
  std::vector<uint8_t> half;
  std::string error;
  EXPECT_TRUE(ReadPlainHalf(dir.Write("ok.bin", PlainHalf(1)), half, error)) << error;
  EXPECT_TRUE(half == PlainHalf(1));
  for (const std::string& bad : {dir.Write("short.bin", std::vector<uint8_t>(1000)),
                                 (dir.path() / "missing.bin").string(), dir.path().string()}) {
    EXPECT_FALSE(ReadPlainHalf(bad, half, error)) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace tavrino::test
