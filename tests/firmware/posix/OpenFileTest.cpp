// SPDX-License-Identifier: GPL-2.0-or-later
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "firmware/Descramble.h"
#include "firmware/FirmwareFixture.h"
#include "frontend/Texts.h"

namespace tavrino::test {
namespace {

constexpr int kBlocksPerHalf = 768;  // 0x5FFFC bytes in 512-byte blocks

std::string Closed(const std::string& label, const std::string& status) {
  return label + std::string(59 - label.size() - status.size(), ' ') + status;
}

const std::vector<std::string> kRejectedLog = {Closed("File checking:", texts::kBlad), "",
                                               "ATTENTION: selected file is not",
                                               "           a QZ-17 program file !!!"};
const std::vector<std::string> kLoadedLog = {Closed("File checking:", texts::kOk)};

class OpenFileTest : public FirmwareFixture {
 protected:
  void ExpectRejected() {
    EXPECT_EQ(file.LastResult(), FirmwareFile::Result::Rejected);
    EXPECT_EQ(Lines(), kRejectedLog);
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
    int pumps;
  } cases[] = {{{half1}, kBlocksPerHalf}, {{half1, half2}, 2 * kBlocksPerHalf}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.halves.size());
    ui.pumps = 0;
    const std::string path = dir.Write("good.17", Pack(c.halves, &stamp));
    ASSERT_TRUE(Load(path));
    EXPECT_EQ(file.LastResult(), FirmwareFile::Result::Loaded);
    EXPECT_EQ(Lines(), kLoadedLog);
    EXPECT_EQ(ui.pumps, c.pumps);
    EXPECT_EQ(ui.fileDialogs, 0);
    EXPECT_EQ(image.FileHasTwoHalves, c.halves.size() == 2);
    EXPECT_EQ(file.FileVersion, "104");
    EXPECT_EQ(file.FileLanguage, 1);
    EXPECT_EQ(file.FileVersionText, "1.04.02 eng");
    EXPECT_EQ(ui.versionLabel, "1.04.02 eng");
    EXPECT_EQ(ui.statusPanel[0], " " + path);
    EXPECT_EQ(file.FirmwareFileName, path);
    for (size_t h = 0; h < c.halves.size(); ++h) {
      auto expected = c.halves[h];
      std::copy_n("\x31\x30\x34\x30\x32\x01", 6, expected.begin() + 0x12000);
      EXPECT_TRUE(ProgramBytes(h == 1 ? ProgramHalf::Second : ProgramHalf::First) == expected)
          << "half " << h + 1;
    }
  }
}

TEST_F(OpenFileTest, ProgressRunsOverTheWholeFile) {
  // The percentage drawn before each block: one-half files count to 0x5FFFC, two-half
  // files to 0xC0000, half 2 going on where half 1 stopped.
  std::vector<int> percent;
  ui.onPump = [&] { percent.push_back(log.ProgressPercent()); };
  ASSERT_TRUE(Load(dir.Write("one.17", Pack({PlainHalf(1)}))));
  EXPECT_EQ(percent.front(), 0);
  EXPECT_EQ(percent.back(), 99);
  percent.clear();
  ASSERT_TRUE(Load(dir.Write("two.17", Pack({PlainHalf(1), PlainHalf(2)}))));
  ASSERT_EQ(percent.size(), 2u * kBlocksPerHalf);
  EXPECT_EQ(percent[kBlocksPerHalf - 1], 49);
  EXPECT_EQ(percent[kBlocksPerHalf], 50);
  EXPECT_EQ(percent.back(), 99);
}

TEST_F(OpenFileTest, FilesOfAnyOtherSizeAreRejectedUnread) {
  const std::vector<uint8_t> good = Pack({PlainHalf(1)});
  for (size_t size : {size_t{0}, size_t{393215}, size_t{393217}, size_t{786433}}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> bytes(size);
    std::copy_n(good.begin(), std::min(size, good.size()), bytes.begin());
    ui.pumps = 0;
    EXPECT_FALSE(Load(dir.Write("size.17", bytes)));
    ExpectRejected();
    EXPECT_EQ(ui.pumps, 0);
  }
}

TEST_F(OpenFileTest, AFifoIsRejectedWithoutWaitingForAWriter) {
  const std::string path = (dir.path() / "fifo.17").string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_FALSE(Load(path));
  ExpectRejected();
}

// The box keeps its one text whatever went wrong; the log, cleared, says why in one line.
TEST_F(OpenFileTest, FilesThatCannotBeOpenedShowTheBoxAndTheSystemsReason) {
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
    log.AddLine("earlier line");
    ui.boxes.clear();
    EXPECT_FALSE(Load(c.path));
    EXPECT_EQ(file.LastResult(), FirmwareFile::Result::CannotOpen);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Selected file does not exist.");
    EXPECT_TRUE(ui.boxes[0].infoOnly);
    ASSERT_EQ(log.History().size(), 1u);
    EXPECT_EQ(StatusLog::Trimmed(log.History()[0]), "Cannot open the file: " + c.reason);
  }
}

TEST_F(OpenFileTest, TheDialogIsShownWhenAskedOrWhenNoFileIsNamed) {
  const std::string path = dir.Write("a.17", Pack({PlainHalf(1)}));
  ui.dialogFile = path;
  EXPECT_TRUE(file.OpenFile(false));  // no name yet
  EXPECT_EQ(ui.fileDialogs, 1);
  EXPECT_TRUE(file.OpenFile(true));
  EXPECT_EQ(ui.fileDialogs, 2);
  EXPECT_TRUE(file.OpenFile(false));  // the name is known now
  EXPECT_EQ(ui.fileDialogs, 2);

  // Cancelling changes nothing, not even the log.
  ui.dialogFile.clear();
  log.AddLine("earlier line");
  const auto before = log.History();
  EXPECT_FALSE(file.OpenFile(true));
  EXPECT_EQ(file.LastResult(), FirmwareFile::Result::Cancelled);
  EXPECT_EQ(log.History(), before);
  EXPECT_EQ(file.FirmwareFileName, path);
  EXPECT_EQ(ui.statusPanel[0], " " + path);
}

TEST_F(OpenFileTest, ABadTrailerRejectsTheFileAndHalfTwoIsReadOnlyAfterAGoodHalfOne) {
  struct Case {
    uint32_t flipped;  // file offset of the damaged byte
    int pumps;
  } cases[] = {{0x00100, kBlocksPerHalf},
               {0x5FFFC, kBlocksPerHalf},
               {0x5FFFF, kBlocksPerHalf},
               {0x60100, 2 * kBlocksPerHalf},
               {0xBFFFE, 2 * kBlocksPerHalf}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flipped);
    auto bytes = Pack({PlainHalf(1), PlainHalf(2)});
    bytes[c.flipped] ^= 0x01;
    ui.pumps = 0;
    EXPECT_FALSE(Load(dir.Write("bad.17", bytes)));
    ExpectRejected();
    EXPECT_EQ(ui.pumps, c.pumps);
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
  EXPECT_EQ(ui.pumps, 2 * kBlocksPerHalf);  // half 1 was good
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
    EXPECT_EQ(ui.versionLabel, c.text);
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

TEST_F(OpenFileTest, StopWhileReadingRejectsTheFile) {
  ui.onPump = [&] {
    if (ui.pumps == 100) host.RequestStop();
  };
  EXPECT_FALSE(Load(dir.Write("stop.17", Pack({PlainHalf(1), PlainHalf(2)}))));
  ExpectRejected();
  EXPECT_EQ(ui.pumps, 100);
}

TEST_F(OpenFileTest, AFileCutShortWhileReadingIsRejected) {
  const std::string path = dir.Write("shrinks.17", Pack({PlainHalf(1)}));
  ui.onPump = [&] {
    if (ui.pumps == 300) std::filesystem::resize_file(path, 1000);
  };
  EXPECT_FALSE(Load(path));
  ExpectRejected();
  EXPECT_EQ(ui.pumps, 300);
}

TEST_F(OpenFileTest, AFailedLoadLeavesTheLastGoodFileWholeInImageAndState) {
  VersionStamp stamp = Stamp("10402", 1);
  const auto good = PlainHalf(1);
  const std::string goodPath = dir.Write("good.17", Pack({good}, &stamp));
  ASSERT_TRUE(Load(goodPath));
  const auto loaded = ProgramBytes();

  auto bad = Pack({PlainHalf(3), PlainHalf(4)});
  bad[0xBFFFF] ^= 0x80;  // only half 2's trailer is wrong
  ui.dialogFile = dir.Write("bad.17", bad);
  EXPECT_FALSE(file.OpenFile(true));
  EXPECT_EQ(file.LastResult(), FirmwareFile::Result::Rejected);
  // The log says which file Program will use now.
  std::vector<std::string> log = kRejectedLog;
  log.push_back("Still loaded: good.17");
  EXPECT_EQ(Lines(), log);

  EXPECT_FALSE(image.FileHasTwoHalves);
  EXPECT_TRUE(ProgramBytes() == loaded);
  EXPECT_EQ(file.FirmwareFileName, goodPath);
  EXPECT_EQ(file.FileVersionText, "1.04.02 eng");
  EXPECT_EQ(ui.versionLabel, "1.04.02 eng");
  EXPECT_EQ(ui.statusPanel[0], " " + goodPath);
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
  EXPECT_EQ(ui.statusPanel[0], " " + path);
  ASSERT_TRUE(file.OpenFile(false));  // the next run reloads the same file
}

}  // namespace
}  // namespace tavrino::test
