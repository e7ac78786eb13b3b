// SPDX-License-Identifier: GPL-2.0-or-later
#include <sys/stat.h>

#include <set>

#include "firmware/Descramble.h"
#include "firmware/FirmwareFixture.h"
#include "firmware/QVFileStream.h"

namespace tavrino::test {
namespace {

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i);
  return v;
}

TEST(DescrambleTest, ScramblingIsUndoneOverAWholeKeyPeriodAndDependsOnThePhase) {
  const size_t period = size_t{kShortKeyLength} * kLongKeyLength;
  const std::vector<uint8_t> plain(2 * period, 0x5A);
  std::vector<uint8_t> bytes = plain;
  KeyPhase phase;
  ScrambleBytes(bytes.data(), bytes.size(), phase);
  // One plain byte scrambles to many values: the keys really are applied per position.
  EXPECT_GT(std::set<uint8_t>(bytes.begin(), bytes.end()).size(), 200u);
  // ...and the pattern repeats only after both keys come round together.
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + period, bytes.begin() + period));
  EXPECT_FALSE(
      std::equal(bytes.begin(), bytes.begin() + kLongKeyLength, bytes.begin() + kLongKeyLength));
  phase = {};
  DescrambleBytes(bytes.data(), bytes.size(), phase);
  EXPECT_TRUE(bytes == plain);
  EXPECT_EQ(phase, KeyPhase{});  // two whole periods
}

class StreamTest : public ::testing::Test {
 protected:
  // A file whose descrambled content counts 0, 1, 2, ... from offset 0.
  void SetUp() override {
    std::vector<uint8_t> bytes = Counting(4000);
    KeyPhase phase;
    ScrambleBytes(bytes.data(), bytes.size(), phase);
    path = dir.Write("stream.bin", bytes);
    ASSERT_TRUE(stream.Open(path));
  }
  TempDir dir;
  std::string path;
  TQVFileStream stream;
};

TEST_F(StreamTest, ReadsInPiecesContinueTheKeyPhase) {
  std::vector<uint8_t> got(8000, 0);
  int32_t done = 0;
  for (int32_t piece : {1, 0, 511, 29, 227, 1000}) {
    ASSERT_EQ(stream.Read(got.data() + done, piece), piece);
    done += piece;
  }
  // Past the end: a short read, and only the bytes read are descrambled.
  EXPECT_EQ(stream.Read(got.data() + done, 4000), 4000 - done);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 4000, Counting(4000).begin()));
  EXPECT_EQ(std::count(got.begin() + 4000, got.end(), 0), 4000);
  EXPECT_EQ(stream.Read(got.data(), 10), 0);
  EXPECT_EQ(stream.Size(), 4000);
  EXPECT_TRUE(stream.IsRegularFile());
}

TEST_F(StreamTest, SeekSectionSetsTheKeyPhaseFromTheSectionBase) {
  struct Case {
    int32_t base, offset;
    uint16_t shortIndex, longIndex;
  } cases[] = {{0, 0, 0, 0},
               {0, 3000, 3000 % 29, 3000 % 227},
               {1000, 1000, 0, 0},
               {1000, 1230, 230 % 29, 3},
               {1000, 999, 28, 226}};  // before its section: still a valid key position
  for (const auto& c : cases) {
    stream.SectionBase = c.base;
    EXPECT_EQ(stream.SeekSection(c.offset), c.offset);
    EXPECT_EQ(stream.ShortKeyIndex(), c.shortIndex);
    EXPECT_EQ(stream.LongKeyIndex(), c.longIndex);
  }
  // With the base at 0 the bytes read after a seek are the plain content again.
  stream.SectionBase = 0;
  stream.SeekSection(2500);
  uint8_t b[3];
  ASSERT_EQ(stream.Read(b, 3), 3);
  EXPECT_EQ(b[0], static_cast<uint8_t>(2500));
  EXPECT_EQ(b[2], static_cast<uint8_t>(2502));
}

TEST(StreamOpen, LooksAtWhatIsNotAPlainFileWithoutOpeningIt) {
  TempDir dir;
  const std::string fifo = (dir.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TQVFileStream stream;
  ASSERT_TRUE(stream.Open(fifo)) << "no writer, and still no wait";
  EXPECT_FALSE(stream.IsRegularFile());
  EXPECT_EQ(stream.Size(), -1);
  uint8_t b[4];
  EXPECT_EQ(stream.Read(b, 4), -1);
  EXPECT_FALSE(stream.Open(dir.path().string()));
  EXPECT_EQ(stream.why(), std::errc::is_a_directory);
  EXPECT_FALSE(stream.IsOpen());
}

}  // namespace
}  // namespace tavrino::test
