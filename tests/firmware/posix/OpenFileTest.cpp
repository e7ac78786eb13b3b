// SPDX-License-Identifier: GPL-2.0-or-later
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "firmware/Descramble.h"
#include "firmware/FirmwareFixture.h"

namespace tavrino::test {
namespace {

constexpr int kBlocksPerHalf = 768;  // 0x5FFFC bytes in 512-byte blocks

class OpenFileTest : public FirmwareFixture {
 protected:
  void ExpectRejected() {
    EXPECT_EQ(result, FirmwareFile::Result::Rejected);
    EXPECT_EQ(watcher.opened, 1);
    EXPECT_FALSE(file.OpenFailure());
  }
  // A good two-half file: half 1 is 1.04.02 eng, half 2 is 1.04.03 pol.
  std::vector<uint8_t> TwoHalves() {
    auto h1 = PlainHalf(1), h2 = PlainHalf(2);
    VersionStamp s1 = Stamp("10402", 1), s2 = Stamp("10403", 0);
    std::vector<uint8_t> f1 = Pack({h1}, &s1), f2 = Pack({h2}, &s2);
    // Each half is scrambled as its own section, so halves of one-half files combine.
    f1.insert(f1.end(), f2.begin(), f2.end());
    return f1;
  }
};

TEST_F(OpenFileTest, GoodFilesLoadTheirProgramBytesAndVersion) {
  const auto half1 = PlainHalf(1), half2 = PlainHalf(2);
  VersionStamp stamp = Stamp("10402", 1);
  struct Case {
    std::vector<std::vector<uint8_t>> halves;
    int blocks;
  } cases[] = {{{half1}, kBlocksPerHalf}, {{half1, half2}, 2 * kBlocksPerHalf}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.halves.size());
    const std::string path = dir.Write("good.17", Pack(c.halves, &stamp));
    ASSERT_TRUE(Load(path));
    EXPECT_EQ(watcher.opened, 1);
    EXPECT_EQ(watcher.blocks, c.blocks);
    EXPECT_EQ(image.FileHasTwoHalves, c.halves.size() == 2);
    EXPECT_EQ(file.FileVersion, "104");
    EXPECT_EQ(file.FileLanguage, 1);
    EXPECT_EQ(file.FileVersionText, "1.04.02 eng");
    EXPECT_EQ(file.FirmwareFileName, path);
    for (size_t h = 0; h < c.halves.size(); ++h) {
      auto expected = c.halves[h];
      std::copy_n("\x31\x30\x34\x30\x32\x01", 6, expected.begin() + 0x12000);
      EXPECT_TRUE(ProgramBytes(h == 1 ? ProgramHalf::Second : ProgramHalf::First) == expected)
          << "half " << h + 1;
    }
  }
}

TEST_F(OpenFileTest, EachBlockIsAnnouncedWithTheBytesDoneOfTheWholeFile) {
  // One-half files count to 0x5FFFC; two-half files to 0xC0000, half 2 taking up from the
  // start of its own half.
  struct Case {
    std::vector<std::vector<uint8_t>> halves;
    int32_t total;
  } cases[] = {{{PlainHalf(1)}, 0x5FFFC}, {{PlainHalf(1), PlainHalf(2)}, 0xC0000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.halves.size());
    std::vector<int32_t> done;
    bool sameTotal = true;
    watcher.onBlock = [&] {
      done.push_back(watcher.lastDone);
      sameTotal = sameTotal && watcher.lastTotal == c.total;
    };
    ASSERT_TRUE(Load(dir.Write("progress.17", Pack(c.halves))));
    EXPECT_TRUE(sameTotal);
    ASSERT_EQ(done.size(), c.halves.size() * kBlocksPerHalf);
    EXPECT_EQ(done.front(), 0);
    EXPECT_EQ(done[kBlocksPerHalf - 1], 0x5FFFC - 508);  // the last block is short
    if (c.halves.size() == 2) {
      EXPECT_EQ(done[kBlocksPerHalf], 0x60004);
    }
    EXPECT_EQ(done.back(), c.total - 508);
  }
}

TEST_F(OpenFileTest, FilesOfAnyOtherSizeAreRejectedUnread) {
  const std::vector<uint8_t> good = Pack({PlainHalf(1)});
  for (size_t size : {size_t{0}, size_t{393215}, size_t{393217}, size_t{786433}}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> bytes(size);
    std::copy_n(good.begin(), std::min(size, good.size()), bytes.begin());
    EXPECT_FALSE(Load(dir.Write("size.17", bytes)));
    ExpectRejected();
    EXPECT_EQ(watcher.blocks, 0);
  }
}

TEST_F(OpenFileTest, AFifoIsRejectedWithoutWaitingForAWriter) {
  const std::string path = (dir.path() / "fifo.17").string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_FALSE(Load(path));
  ExpectRejected();
}

// The system's reason is kept for the caller to tell; nothing is read.
TEST_F(OpenFileTest, FilesThatCannotBeOpenedKeepTheSystemsReason) {
  const std::string noRights = dir.Write("locked.17", Pack({PlainHalf(1)}));
  ::chmod(noRights.c_str(), 0);
  struct Case {
    const char* what;
    std::string path;
    std::string reason;
  } cases[] = {
      {"missing", (dir.path() / "missing.17").string(), "No such file or directory"},
      {"directory", dir.path().string(), "Is a directory"},
      {"no read rights", noRights, "Permission denied"},
      {"name too long", (dir.path() / std::string(300, 'a')).string(), "File name too long"},
      {"a file taken for a folder", noRights + "/x.17", "Not a directory"},
      {"NUL inside the name", noRights + std::string(1, '\0') + "x", "No such file or directory"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.path == noRights && ::geteuid() == 0) continue;  // root reads it anyway
    EXPECT_FALSE(Load(c.path));
    EXPECT_EQ(result, FirmwareFile::Result::CannotOpen);
    EXPECT_EQ(file.OpenFailure().message(), c.reason);
    EXPECT_EQ(watcher.opened, 0);
    EXPECT_TRUE(file.FirmwareFileName.empty());
  }
  // The reason is of the last load only.
  ASSERT_TRUE(Load(dir.Write("good.17", Pack({PlainHalf(1)}))));
  EXPECT_FALSE(file.OpenFailure());
}

TEST_F(OpenFileTest, ABadTrailerRejectsTheFileAndHalfTwoIsReadOnlyAfterAGoodHalfOne) {
  struct Case {
    uint32_t flipped;  // file offset of the damaged byte
    int blocks;
  } cases[] = {{0x00100, kBlocksPerHalf},
               {0x5FFFC, kBlocksPerHalf},
               {0x5FFFF, kBlocksPerHalf},
               {0x60100, 2 * kBlocksPerHalf},
               {0xBFFFE, 2 * kBlocksPerHalf}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flipped);
    auto bytes = Pack({PlainHalf(1), PlainHalf(2)});
    bytes[c.flipped] ^= 0x01;
    EXPECT_FALSE(Load(dir.Write("bad.17", bytes)));
    ExpectRejected();
    EXPECT_EQ(watcher.blocks, c.blocks);
  }
}

TEST_F(OpenFileTest, HalfTwoIsDescrambledFromKeyPhaseZero) {
  // Scrambling both halves as one section continues the key phase into half 2.
  std::vector<uint8_t> continued = Pack({PlainHalf(1), PlainHalf(2)});
  for (uint32_t half : {0u, kHalfSize}) {
    KeyPhase phase;
    DescrambleBytes(continued.data() + half, kHalfSize, phase);
  }
  KeyPhase phase;
  ScrambleBytes(continued.data(), continued.size(), phase);

  EXPECT_FALSE(Load(dir.Write("continued.17", continued)));
  ExpectRejected();
  EXPECT_EQ(watcher.blocks, 2 * kBlocksPerHalf);  // half 1 was good
}

// The same checks on bytes in memory: what a file would load, they load alike; what it
// would not, neither do they.
TEST_F(OpenFileTest, BytesInMemoryLoadAsTheSameFileDoes) {
  auto badHalf2 = Pack({PlainHalf(1), PlainHalf(2)});
  badHalf2[0x60100] ^= 0x01;
  VersionStamp stamp = Stamp("10305", 2, true);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    ProgramHalf half;
  } cases[] = {{"one half", Pack({PlainHalf(1)}, &stamp), ProgramHalf::First},
               {"two halves, version of half 2", TwoHalves(), ProgramHalf::Second},
               {"bad half 2", badHalf2, ProgramHalf::First},
               {"short", std::vector<uint8_t>(1000, 0x5A), ProgramHalf::First},
               {"empty", {}, ProgramHalf::First}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const bool fromFile = Load(dir.Write("same.17", c.bytes), c.half);
    const int fileBlocks = watcher.blocks;
    FirmwareImage memoryImage;
    FirmwareFile memory(memoryImage);
    BlockCounter counter;
    const auto got = memory.LoadBytes(c.bytes.data(), c.bytes.size(), "same.17", c.half, counter);
    EXPECT_EQ(got, result);
    EXPECT_EQ(counter.opened, 1);
    EXPECT_EQ(counter.blocks, fileBlocks);
    EXPECT_EQ(memoryImage.FileHasTwoHalves, fromFile && image.FileHasTwoHalves);
    EXPECT_EQ(memory.FileVersionText, fromFile ? file.FileVersionText : "");
    EXPECT_EQ(memory.FirmwareFileName, fromFile ? "same.17" : "");
    if (fromFile) {
      const uint32_t loaded = image.FileHasTwoHalves ? 2 * kHalfSize : kHalfSize;
      EXPECT_TRUE(std::equal(image.data(), image.data() + loaded, memoryImage.data()));
    }
  }
}

TEST_F(OpenFileTest, TheVersionComesFromTheHalfThePanelUses) {
  const std::string path = dir.Write("two.17", TwoHalves());
  struct Case {
    ProgramHalf panelHalf;
    const char* text;
    uint8_t language;
  } cases[] = {{ProgramHalf::First, "1.04.02 eng", 1}, {ProgramHalf::Second, "1.04.03 pol", 0}};
  for (const auto& c : cases) {
    ASSERT_TRUE(Load(path, c.panelHalf));
    EXPECT_EQ(file.FileVersionText, c.text);
    EXPECT_EQ(file.FileLanguage, c.language);
  }
}

TEST_F(OpenFileTest, TheVersionRecordStandsBehindTheSignature) {
  struct Case {
    VersionStamp stamp;
    const char* text;
  } cases[] = {{Stamp("10305", 2, true), "1.03.05 ukr"},
               {Stamp("10302", 2, false), "1.03.02"},
               {Stamp("20000", 9, true), "2.00.00 ???"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(Load(dir.Write("sig.17", Pack({PlainHalf(1)}, &c.stamp))));
    EXPECT_EQ(file.FileVersionText, c.text);
    EXPECT_EQ(file.FileVersion, c.stamp.chars.substr(0, 3));
    EXPECT_EQ(file.ReadFileVersionRecord(ProgramHalf::First),
              c.stamp.chars + char(c.stamp.language));
  }
  // Almost the signature: the record is read where it stands.
  auto half = PlainHalf(1);
  std::copy_n("\0\0QZ18", 6, half.begin() + 0x12000);
  ASSERT_TRUE(Load(dir.Write("near.17", Pack({half}))));
  EXPECT_EQ(file.ReadFileVersionRecord(ProgramHalf::First), std::string("\0\0QZ18", 6));
}

TEST_F(OpenFileTest, StoppingTheReadRejectsTheFile) {
  struct Case {
    int stopAfter;
    int blocks;
  } cases[] = {{100, 100},
               // Stopped during the last block of a half: the half's trailer is not read.
               {kBlocksPerHalf, kBlocksPerHalf},
               {2 * kBlocksPerHalf, 2 * kBlocksPerHalf}};
  const std::string path = dir.Write("stop.17", Pack({PlainHalf(1), PlainHalf(2)}));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stopAfter);
    watcher.stopAfter = c.stopAfter;
    EXPECT_FALSE(Load(path));
    ExpectRejected();
    EXPECT_EQ(watcher.blocks, c.blocks);
  }
}

TEST_F(OpenFileTest, AFileCutShortWhileReadingIsRejected) {
  const std::string path = dir.Write("shrinks.17", Pack({PlainHalf(1)}));
  watcher.onBlock = [&] {
    if (watcher.blocks == 300) std::filesystem::resize_file(path, 1000);
  };
  EXPECT_FALSE(Load(path));
  ExpectRejected();
  EXPECT_EQ(watcher.blocks, 300);
}

TEST_F(OpenFileTest, AFailedLoadLeavesTheLastGoodFileWholeInImageAndState) {
  VersionStamp stamp = Stamp("10402", 1);
  const auto good = PlainHalf(1);
  const std::string goodPath = dir.Write("good.17", Pack({good}, &stamp));
  ASSERT_TRUE(Load(goodPath));
  const auto loaded = ProgramBytes();

  auto bad = Pack({PlainHalf(3), PlainHalf(4)});
  bad[0xBFFFF] ^= 0x80;  // only half 2's trailer is wrong
  for (const std::string& failing : {dir.Write("bad.17", bad), dir.path().string()}) {
    SCOPED_TRACE(failing);
    EXPECT_FALSE(Load(failing));
    EXPECT_FALSE(image.FileHasTwoHalves);
    EXPECT_TRUE(ProgramBytes() == loaded);
    EXPECT_EQ(file.FirmwareFileName, goodPath);
    EXPECT_EQ(file.FileVersionText, "1.04.02 eng");
    EXPECT_EQ(file.FileVersion, "104");
    EXPECT_EQ(file.FileLanguage, 1);
  }
}

TEST_F(OpenFileTest, ALongPathIsUsedWhole) {
  std::filesystem::path deep = dir.path();
  while (deep.string().size() < 300) deep /= std::string(40, 'd');
  std::filesystem::create_directories(deep);
  // A decoy under the path's first 255 characters must not be the file loaded.
  const std::string path = (deep / "program.17").string();
  std::ofstream(path.substr(0, 255));
  dir.Write(std::filesystem::relative(path, dir.path()).string(), Pack({PlainHalf(1)}));
  ASSERT_TRUE(Load(path));
  EXPECT_EQ(file.FirmwareFileName, path);
  ASSERT_TRUE(Load(file.FirmwareFileName));  // the next run reloads the same file
}

}  // namespace
}  // namespace tavrino::test
