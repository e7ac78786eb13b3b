// SPDX-License-Identifier: GPL-2.0-or-later
// Loading the firmware file as the person sees it: the dialog, the "File checking:" line
// and its bar, the box for a file that cannot be opened, the window's file and version,
// and which file stays loaded after a failed load. The checks of the bytes themselves are
// the firmware layer's tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/FirmwareFixture.h"
#include "frontend/Clock.h"
#include "frontend/Host.h"
#include "frontend/StatusLog.h"
#include "frontend/Texts.h"
#include "run/FileLoad.h"
#include "run/RunTexts.h"
#include "support/ScriptedFrontEnd.h"

namespace tavrino::test {
namespace {

constexpr int kBlocksPerHalf = 768;

std::string Closed(const std::string& label, const std::string& status) {
  return label + std::string(59 - label.size() - status.size(), ' ') + status;
}

const std::vector<std::string> kRejectedLog = {Closed("File checking:", texts::kBlad), "",
                                               "ATTENTION: selected file is not",
                                               "           a QZ-17 program file !!!"};
const std::vector<std::string> kLoadedLog = {Closed("File checking:", texts::kOk)};

class FileLoadTest : public ::testing::Test {
 protected:
  // The load every run starts with: the dialog only when no file is named yet.
  FileLoad Open(const std::string& path, bool ask = false) {
    file.FirmwareFileName = path;
    return OpenFirmwareFile(host, file, ask, ProgramHalf::First);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const auto& l : log.History()) out.push_back(StatusLog::Trimmed(l));
    return out;
  }

  TempDir dir;
  FakeClock clock;
  ScriptedFrontEnd ui;
  StatusLog log{59, 11};
  Host host{clock, ui, log};
  FirmwareImage image;
  FirmwareFile file{image};
};

TEST_F(FileLoadTest, AGoodFileIsCheckedOkAndNamedInTheWindow) {
  VersionStamp stamp = Stamp("10402", 1);
  using Halves = std::vector<std::vector<uint8_t>>;
  for (const Halves& halves : {Halves{PlainHalf(1)}, Halves{PlainHalf(1), PlainHalf(2)}}) {
    SCOPED_TRACE(halves.size());
    ui.pumps = 0;
    const std::string path = dir.Write("good.17", Pack(halves, &stamp));
    EXPECT_EQ(Open(path), FileLoad::Loaded);
    EXPECT_EQ(Lines(), kLoadedLog);
    EXPECT_EQ(ui.pumps, static_cast<int>(halves.size()) * kBlocksPerHalf);
    EXPECT_EQ(ui.fileDialogs, 0);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.file, path);
    EXPECT_EQ(ui.fileVersion, "1.04.02 eng");
  }
}

TEST_F(FileLoadTest, ABadFileIsCheckedBladWithTheAttentionLines) {
  auto bad = Pack({PlainHalf(1)});
  bad[0x100] ^= 0x01;
  for (const auto& bytes : {bad, std::vector<uint8_t>(1000, 0x5A)}) {
    SCOPED_TRACE(bytes.size());
    EXPECT_EQ(Open(dir.Write("bad.17", bytes)), FileLoad::Rejected);
    EXPECT_EQ(Lines(), kRejectedLog);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(ui.file, "");
    EXPECT_EQ(ui.fileVersion, "");
  }
}

// The box keeps its one text whatever went wrong; the log, cleared, says why in one line.
TEST_F(FileLoadTest, AFileThatCannotBeOpenedShowsTheBoxAndTheSystemsReason) {
  for (const std::string& path : {(dir.path() / "missing.17").string(), dir.path().string()}) {
    SCOPED_TRACE(path);
    log.AddLine("earlier line");
    ui.boxes.clear();
    EXPECT_EQ(Open(path), FileLoad::CannotOpen);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Selected file does not exist.");
    EXPECT_TRUE(ui.boxes[0].infoOnly);
    ASSERT_TRUE(file.OpenFailure());
    EXPECT_EQ(Lines(),
              std::vector<std::string>{"Cannot open the file: " + file.OpenFailure().message()});
    EXPECT_EQ(ui.pumps, 0);
  }
}

TEST_F(FileLoadTest, TheDialogIsShownWhenAskedOrWhenNoFileIsNamed) {
  const std::string path = dir.Write("a.17", Pack({PlainHalf(1)}));
  ui.dialogFile = path;
  EXPECT_EQ(Open(""), FileLoad::Loaded);  // no name yet
  EXPECT_EQ(ui.fileDialogs, 1);
  EXPECT_EQ(file.FirmwareFileName, path);
  EXPECT_EQ(OpenFirmwareFile(host, file, true, ProgramHalf::First), FileLoad::Loaded);
  EXPECT_EQ(ui.fileDialogs, 2);
  EXPECT_EQ(OpenFirmwareFile(host, file, false, ProgramHalf::First), FileLoad::Loaded);
  EXPECT_EQ(ui.fileDialogs, 2);  // the name is known now

  // Cancelling changes nothing, not even the log.
  ui.dialogFile.clear();
  log.AddLine("earlier line");
  const auto before = log.History();
  EXPECT_EQ(OpenFirmwareFile(host, file, true, ProgramHalf::First), FileLoad::Cancelled);
  EXPECT_EQ(log.History(), before);
  EXPECT_EQ(file.FirmwareFileName, path);
  EXPECT_EQ(ui.file, path);
}

TEST_F(FileLoadTest, AfterAFailedLoadTheWindowSaysWhichFileStaysLoaded) {
  VersionStamp stamp = Stamp("10402", 1);
  const std::string goodPath = dir.Write("good.17", Pack({PlainHalf(1)}, &stamp));
  ASSERT_EQ(Open(goodPath), FileLoad::Loaded);

  auto bad = Pack({PlainHalf(3), PlainHalf(4)});
  bad[0xBFFFF] ^= 0x80;
  struct Case {
    std::string path;
    FileLoad result;
    std::vector<std::string> lines;
  } cases[] = {{dir.Write("bad.17", bad), FileLoad::Rejected, kRejectedLog},
               {(dir.path() / "gone.17").string(), FileLoad::CannotOpen, {}}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.path);
    ui.dialogFile = c.path;
    ui.file = ui.fileVersion = "";
    EXPECT_EQ(OpenFirmwareFile(host, file, true, ProgramHalf::First), c.result);
    std::vector<std::string> lines = Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Still loaded: good.17");
    if (!c.lines.empty()) {
      lines.pop_back();
      EXPECT_EQ(lines, c.lines);
    }
    EXPECT_EQ(file.FirmwareFileName, goodPath);
    EXPECT_EQ(ui.file, goodPath);
    EXPECT_EQ(ui.fileVersion, "1.04.02 eng");
  }

  // Reloading the named file itself fails without the line: it is not still loaded.
  std::filesystem::remove(goodPath);
  ui.file = "";
  EXPECT_EQ(Open(goodPath), FileLoad::CannotOpen);
  EXPECT_EQ(Lines(),
            std::vector<std::string>{"Cannot open the file: " + file.OpenFailure().message()});
  EXPECT_EQ(ui.file, "");
}

// Between Open File and Program the loaded file went bad on disk: Program reads it again
// and refuses it, and the window no longer shows a version that nothing holds.
TEST_F(FileLoadTest, TheLoadedFileGoneBadOnDiskLeavesNothingShownAsLoaded) {
  VersionStamp stamp = Stamp("10402", 1);
  const std::string path = dir.Write("good.17", Pack({PlainHalf(1)}, &stamp));
  ASSERT_EQ(Open(path), FileLoad::Loaded);
  ASSERT_EQ(ui.fileVersion, "1.04.02 eng");
  auto bad = Pack({PlainHalf(1)}, &stamp);
  bad[0x1000] ^= 0x01;
  dir.Write("good.17", bad);

  EXPECT_EQ(OpenFirmwareFile(host, file, false, ProgramHalf::First), FileLoad::Rejected);
  EXPECT_EQ(Lines(), kRejectedLog) << "no file is named as still loaded";
  EXPECT_EQ(file.FileVersionText, "");
  EXPECT_EQ(ui.fileVersion, "");
  EXPECT_EQ(ui.file, "");
  EXPECT_EQ(file.FirmwareFileName, path) << "the next command reads it again";
}

TEST_F(FileLoadTest, TheBarRunsOverTheWholeFile) {
  // The percentage drawn before each block: one-half files count to 0x5FFFC, two-half
  // files to 0xC0000, half 2 going on where half 1 stopped.
  std::vector<int> percent;
  ui.onPump = [&] { percent.push_back(log.ProgressPercent()); };
  ASSERT_EQ(Open(dir.Write("one.17", Pack({PlainHalf(1)}))), FileLoad::Loaded);
  EXPECT_EQ(percent.front(), 0);
  EXPECT_EQ(percent.back(), 99);
  percent.clear();
  ASSERT_EQ(Open(dir.Write("two.17", Pack({PlainHalf(1), PlainHalf(2)}))), FileLoad::Loaded);
  ASSERT_EQ(percent.size(), 2u * kBlocksPerHalf);
  EXPECT_EQ(percent[kBlocksPerHalf - 1], 49);
  EXPECT_EQ(percent[kBlocksPerHalf], 50);
  EXPECT_EQ(percent.back(), 99);
}

TEST_F(FileLoadTest, StopWhileReadingRejectsTheFile) {
  ui.onPump = [&] {
    if (ui.pumps == 100) host.RequestStop();
  };
  EXPECT_EQ(Open(dir.Write("stop.17", Pack({PlainHalf(1), PlainHalf(2)}))), FileLoad::Rejected);
  EXPECT_EQ(Lines(), kRejectedLog);
  EXPECT_EQ(ui.pumps, 100);
  EXPECT_EQ(ui.fileVersion, "");
}

// The settings work areas keep a fault; the run shows it in these boxes.
TEST(SettingsFaultTextTest, EachFaultHasItsBox) {
  using Kind = SettingsFault::Kind;
  const struct {
    SettingsFault fault;
    const char* text;
  } cases[] = {{{Kind::Write, 2}, "Error 2w"},
               {{Kind::Read, 0}, "Error 0r"},
               {{Kind::Read, 255}, "Error 255r"},
               {{Kind::Conversion, 0}, "Internal error 1"},
               {{}, ""}};
  for (const auto& c : cases) EXPECT_EQ(SettingsFaultText(c.fault), c.text);
}

}  // namespace
}  // namespace tavrino::test
