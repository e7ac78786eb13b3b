// SPDX-License-Identifier: GPL-2.0-or-later
// Restoring a settings backup: onto the panel it was made on, onto one whose settings were
// wiped, across the 103 -> 104 conversion (ending as a Program run converting the same
// settings ends), refused where it does not belong, never from a damaged or foreign file,
// and a restore cut short finished by the next restore with the same file.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "state/RecordStore.h"
#include "support/TestFolders.h"
#include "tests/run/RecoveryRig.h"

namespace tavrino::test {
namespace {

using namespace recovery;

constexpr uint8_t kWriteSettingsCommand1 = 0x81;

struct BackupFolder {
  BackupFolder() : dir(MakeTempFolder("tavrino-restore")) {}
  ~BackupFolder() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  fs::path dir;
};

// The panel the backup is made on: program 1.03.05 on an AMD chip, settings of format 103.
void FieldPanel(RunRig& rig, const char* program = "1.03.05", int format = 103) {
  rig.panel.SynthesizeProgram(program, 1);
  rig.panel.FillSettings(format);
}

// The settings memories and their copies gone, as after a failed memory or a reset.
void Wipe(RunRig& rig) {
  std::fill(rig.panel.Memory1().begin(), rig.panel.Memory1().end(), 0xFF);
  std::fill(rig.panel.Memory2().begin(), rig.panel.Memory2().end(), 0xFF);
  std::fill(rig.panel.Flash().begin() + 0x64000, rig.panel.Flash().begin() + 0x70000, 0xFF);
}

fs::path BackUp(RunRig& rig, const BackupFolder& folder) {
  const fs::path file = folder.dir / "panel.tavrec";
  EXPECT_EQ(rig.core.Backup(file.string(), false), Outcome::BackedUp);
  return file;
}

uint32_t Writes(const RunRig& rig) {
  const Sent s = SentSoFar(rig);
  return s.erases + s.pageWrites + s.memory1Writes + s.memory2Writes;
}

struct RestoreCase {
  const char* name;
  // The panel the backup is restored onto, after it was made on a field panel.
  std::function<void(RunRig&)> target;
  Outcome outcome;
  const char* refusal;  // the line that says why; empty when restored
};

// clang-format off
const RestoreCase kRestoreCases[] = {
    {"OnTheSamePanel", [](RunRig&) {}, Outcome::Restored, ""},
    {"OntoWipedSettings", Wipe, Outcome::Restored, ""},
    {"OntoAnotherChip", [](RunRig& r) { r.panel.Config().flashType = 5; }, Outcome::Refused,
     "Refused: the backup's FLASH type is AMD Am29F040."},
    {"OntoAnotherBoard", [](RunRig& r) { r.panel.Config().board24MHz = true; }, Outcome::Refused,
     "Refused: the backup is of a 12 MHz board."},
    {"OntoAProgramOfData102", [](RunRig& r) { FieldPanel(r, "1.02.00", 103); }, Outcome::Refused,
     "Refused: data 103 cannot go into data 102."},
    {"OntoAPanelWithoutProgram",
     [](RunRig& r) { std::fill_n(r.panel.Flash().begin(), 0x60000, 0xFF); }, Outcome::Refused,
     "Refused: the panel holds no program."},
};
// clang-format on
void PrintTo(const RestoreCase& c, std::ostream* os) {
  *os << c.name;
}

class Restore : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(Restore, WritesTheBackupOrRefusesInOneLine) {
  const RestoreCase& c = GetParam();
  BackupFolder folder;
  RunRig rig;
  FieldPanel(rig);
  const PanelBytes made = Contents(rig);
  const fs::path file = BackUp(rig, folder);
  c.target(rig);
  const PanelBytes target = Contents(rig);
  const uint32_t writesBefore = Writes(rig);

  EXPECT_EQ(rig.core.Restore(file.string(), true), c.outcome);
  if (c.outcome != Outcome::Restored) {
    EXPECT_EQ(rig.Lines().back(), c.refusal);
    EXPECT_EQ(Writes(rig), writesBefore) << "nothing written";
    EXPECT_TRUE(Contents(rig) == target);
    EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u);
    EXPECT_EQ(ExitCode(c.outcome), 5);
    return;
  }
  EXPECT_TRUE(Contents(rig) == made) << "the panel holds the backup's settings again";
  for (const char* label :
       {"Data recovering:", "Data restoring:", "Settings check:", "Restarting panel"})
    EXPECT_EQ(rig.LineOf(label), L(label, kOk));
  EXPECT_EQ(rig.panel.RestartCount(), 1u);
  // The settings it held before are a backup of their own; the restore's record is gone.
  EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u);
  const auto kept = state::RecordStore(rig.stateDir).List(state::Folder::Backups);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(rig.LineOf("Earlier settings kept:"),
            L("Earlier settings kept:", kept[0].path.filename().string()));
  const Bytes& memories = kept[0].record.memoriesRead;
  EXPECT_TRUE(Bytes(memories.begin(), memories.begin() + 0x8000) == target.memory1);
  EXPECT_TRUE(Bytes(memories.begin() + 0x8000, memories.end()) == target.memory2);
}

INSTANTIATE_TEST_SUITE_P(Run, Restore, ::testing::ValuesIn(kRestoreCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Settings of a 103 panel restored onto a panel that runs 1.04.02: converted, and exactly
// as a Program run from 1.03.05 to 1.04.02 leaves the same settings.
TEST(RestoreAcross, From103To104EndsAsAProgramRunConvertingTheSameSettings) {
  BackupFolder folder;
  RunRig rig;
  FieldPanel(rig);
  // Copies that differ from the memories show settings taken from the wrong place.
  for (uint32_t i = 0x64000; i < 0x70000; ++i) rig.panel.Flash()[i] ^= static_cast<uint8_t>(i);
  const PanelBytes field = Contents(rig);
  const fs::path file = BackUp(rig, folder);
  const TwinRun want = RunElsewhere(k103To104, field, k103To104.file);
  ASSERT_EQ(want.outcome, Outcome::Updated);

  FieldPanel(rig, "1.04.02", 104);
  Wipe(rig);
  EXPECT_EQ(rig.core.Restore(file.string(), true), Outcome::Restored);
  EXPECT_EQ(rig.LineOf("Settings backup:").substr(0, 16), "Settings backup:");
  EXPECT_TRUE(Contents(rig) == want.after);
}

// A file that is not a good settings backup never reaches the panel: the port stays shut.
TEST(RestoreFrom, ADamagedOrForeignFileIsNeverWritten) {
  struct Damage {
    const char* name;
    std::function<void(Bytes&)> apply;
    const char* why;
  };
  const Damage damages[] = {
      {"FlippedByte", [](Bytes& b) { b[b.size() / 2] ^= 0x04; }, "checksum wrong"},
      {"CutFile", [](Bytes& b) { b.resize(b.size() - 100); }, "file cut short"},
      {"UnknownFormat", [](Bytes& b) { b[8] = 9; }, "unknown format"},
      {"NotARecord", [](Bytes& b) { b.assign(100, 'x'); }, "not a record"},
      {"AStarterUpdatesRecord",
       [](Bytes& b) {
         state::RecoveryRecord r;
         r.kind = state::RecordKind::StarterUpdate;
         r.copyChecks.assign(state::kCopyChecksBytes, 0);
         b = state::EncodeRecord(r);
       },
       "a Starter update's record: no settings"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    BackupFolder folder;
    RunRig rig;
    FieldPanel(rig);
    const fs::path file = BackUp(rig, folder);
    Bytes bytes(fs::file_size(file));
    std::ifstream(file, std::ios::binary)
        .read(reinterpret_cast<char*>(bytes.data()), static_cast<long>(bytes.size()));
    d.apply(bytes);
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    const uint32_t requests = rig.panel.RequestCount();

    EXPECT_EQ(rig.core.Restore(file.string(), true), Outcome::FileRejected);
    EXPECT_EQ(rig.Lines().back(), L("Settings backup:", d.why));
    EXPECT_EQ(rig.panel.RequestCount(), requests) << "the panel is not even asked";
  }
}

// A restore cut short while it writes the memories: its record is all that holds the
// panel's earlier settings, and the next restore with the same file finishes it from there.
struct CutRestore {
  BackupFolder folder;
  RunRig rig;
  fs::path file;
  PanelBytes before;  // the panel the restore began on
  PanelBytes want;    // as an uninterrupted restore leaves it
};
void CutMidRestore(CutRestore& c) {
  FieldPanel(c.rig);
  c.file = BackUp(c.rig, c.folder);
  c.want = Contents(c.rig);
  for (auto& b : c.rig.panel.Memory1()) b ^= 0x33;  // settings the technician lost
  c.before = Contents(c.rig);
  c.rig.hooks.At("Data restoring:", 60, [&c] { CutTheLine(c.rig); });
  EXPECT_NE(c.rig.core.Restore(c.file.string(), true), Outcome::Restored);
  EXPECT_EQ(c.rig.CutShortNote().size(), 2u);
  PowerCycle(c.rig);
  ASSERT_GT(c.rig.panel.CommandCount(kWriteSettingsCommand1), 30u);
  ASSERT_EQ(Files(c.rig.stateDir / "recovery"), 1u);
}

TEST(RestoreCutShort, IsFinishedByTheNextRestoreWithTheSameFile) {
  CutRestore c;
  CutMidRestore(c);
  const size_t cutLines = c.rig.Lines().size();
  EXPECT_EQ(c.rig.core.Restore(c.file.string(), true), Outcome::Restored);
  const Lines all = c.rig.Lines();
  const Lines lines(all.begin() + static_cast<long>(cutLines), all.end());
  const std::string time = state::TimeText(state::ReadRecordFile(c.file).record.writtenAt);
  EXPECT_NE(std::find(lines.begin(), lines.end(), L("Unfinished work:", "restore " + time)),
            lines.end());
  for (const auto& line : lines)
    EXPECT_NE(line.rfind("Reading settings:", 0), 0u) << "the record's images, not the panel's";
  EXPECT_TRUE(Contents(c.rig) == c.want);
  EXPECT_EQ(Files(c.rig.stateDir / "recovery"), 0u);
  // What is kept is what the panel held before the first restore, not a half-written state.
  const auto kept = state::RecordStore(c.rig.stateDir).List(state::Folder::Backups);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(Bytes(kept[0].record.memoriesRead.begin(),
                    kept[0].record.memoriesRead.begin() + 0x8000) == c.before.memory1);
}

TEST(RestoreCutShort, StopsAProgramRunAndARestoreOfAnotherFile) {
  CutRestore c;
  CutMidRestore(c);
  const PanelBytes cut = Contents(c.rig);
  c.rig.UseProgramFile("1.04.02", 1);
  EXPECT_EQ(c.rig.core.Program(true), Outcome::Refused);
  EXPECT_EQ(c.rig.Lines().back(), "Finish the restore with the same backup first.");

  const fs::path other = c.folder.dir / "other.tavrec";
  EXPECT_EQ(c.rig.core.Backup(other.string(), false), Outcome::BackedUp);
  EXPECT_EQ(c.rig.core.Restore(other.string(), true), Outcome::Refused);
  EXPECT_EQ(c.rig.Lines().back(), "Refused: finish that restore with its own backup first.");
  EXPECT_TRUE(Contents(c.rig) == cut);
}

TEST(RestoreMeetsAnUnfinishedUpdate, AndRefuses) {
  BackupFolder folder;
  RunRig rig;
  Prepare(rig, k103To104);
  const fs::path file = BackUp(rig, folder);
  ASSERT_TRUE(CutRun(rig, kMidWritingMemory1, k103To104.file));
  const PanelBytes cut = Contents(rig);
  EXPECT_EQ(rig.core.Restore(file.string(), true), Outcome::Refused);
  EXPECT_EQ(rig.Lines().back(), "Refused: finish the panel's update (Program) first.");
  EXPECT_TRUE(Contents(rig) == cut);
}

TEST(RestoreAttended, AsksWithThePanelAndTheBackupsTimeAndNoWritesNothing) {
  BackupFolder folder;
  RunRig rig;
  FieldPanel(rig);
  const fs::path file = BackUp(rig, folder);
  Wipe(rig);
  const PanelBytes wiped = Contents(rig);
  const std::string time = state::TimeText(state::ReadRecordFile(file).record.writtenAt);
  rig.ui.answers = {false};
  EXPECT_EQ(rig.core.Restore(file.string(), false), Outcome::Declined);
  ASSERT_EQ(rig.ui.BoxTexts().size(), 1u);
  const std::string question = rig.ui.BoxTexts()[0];
  EXPECT_NE(question.find("the backup of " + time), std::string::npos) << question;
  EXPECT_NE(question.find("AMD Am29F040, 1.03.05 eng, 12 MHz"), std::string::npos) << question;
  EXPECT_TRUE(Contents(rig) == wiped);
  EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u);
}

}  // namespace
}  // namespace tavrino::test
