// SPDX-License-Identifier: GPL-2.0-or-later
// An update cut short at any point is finished by the next run of the same command: the line
// is cut there, the panel is switched off and on again, the run is repeated, and the panel
// must end byte for byte as an uninterrupted run leaves it. A record of another panel, or
// a damaged one, is never applied; a change whose record cannot be kept is not made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "os/FileFaults.h"
#include "run/Core.h"
#include "state/RecordStore.h"
#include "support/TestFolders.h"
#include "tests/run/RecoveryRig.h"

namespace tavrino::test {
namespace {

using namespace recovery;

// Every place a cut can fall in each update; the conversion's places only where it converts.
struct CutCase {
  Update update;
  Cut cut;
};
std::vector<CutCase> EveryCutOfEveryUpdate() {
  const Cut cuts[] = {kReadingTheSettings,  kProgrammingBefore,   kProgrammingAfter,
                      kAfterSector6Erasure, kMidSector6WriteBack, kMidWritingMemory1,
                      kMidWritingMemory2,   kMidVerification};
  std::vector<CutCase> cases;
  for (const Update& u : {k103To104, k104To103, kSame104OnAnSt})
    for (const Cut& cut : cuts)
      if (u.Converts() || !cut.conversionOnly) cases.push_back({u, cut});
  return cases;
}
std::string Name(const CutCase& c) {
  return std::string(c.update.name) + "_" + c.cut.name;
}
void PrintTo(const CutCase& c, std::ostream* os) {
  *os << Name(c);
}

class CutShort : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutShort, TheNextRunFinishesTheUpdateExactly) {
  const auto& [u, cut] = GetParam();
  RunRig rig;
  Prepare(rig, u);
  const PanelBytes before = Contents(rig);
  const TwinRun want = RunElsewhere(u, before, u.file);
  ASSERT_EQ(want.outcome, Outcome::Updated);

  const Bytes half = sim::SimulatedPanel::SyntheticProgram(u.file, 1);
  ASSERT_TRUE(CutRun(rig, cut, u.file)) << "the cut was never made";
  // Reading the settings comes before any change: nothing to finish, nothing kept.
  const bool changed = std::string(cut.name) != kReadingTheSettings.name;
  EXPECT_EQ(rig.CutShortNote().size(), changed ? 2u : 0u) << "the run says what it left";
  if (!changed) {
    EXPECT_TRUE(Contents(rig) == before) << "the panel is as it was";
  }
  if (std::string(cut.name) == kProgrammingBefore.name) {
    ASSERT_EQ(rig.Flash(kVersionRecordAt, 5), Bytes(5, 0xFF)) << "cut while the record is erased";
  }
  if (std::string(cut.name) == kProgrammingAfter.name) {
    ASSERT_EQ(rig.Flash(kVersionRecordAt, 6),
              Bytes(half.begin() + kVersionRecordAt, half.begin() + kVersionRecordAt + 6))
        << "cut once the record is the new one";
  }
  ASSERT_EQ(Files(rig.stateDir / "recovery"), changed ? 1u : 0u);

  const Sent sentBefore = SentSoFar(rig);
  EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
  if (changed) {
    const std::string unfinished = rig.LineOf("Unfinished update:");
    EXPECT_TRUE(!unfinished.empty() && unfinished != L("Unfinished update:", "other panel"))
        << unfinished;
    // Written again because the update was cut short, whatever the versions say; an older
    // file is still called so (and asked about in an attended run).
    const bool older = std::string(u.file) < u.panel;
    EXPECT_EQ(rig.LineOf("Programs comparison:"),
              L("Programs comparison:", older ? "older" : "unfinished"));
  }
  EXPECT_TRUE(Contents(rig) == want.after) << "the panel ends as an uninterrupted run leaves it";
  EXPECT_EQ(SentSoFar(rig) - sentBefore, want.sent) << "and is changed as much, no more";
  EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u) << "the record is retired";
  EXPECT_EQ(Files(rig.stateDir / "backups"), 1u) << "kept as a settings backup";
}

INSTANTIATE_TEST_SUITE_P(Run, CutShort, ::testing::ValuesIn(EveryCutOfEveryUpdate()),
                         [](const auto& info) { return Name(info.param); });

// A panel of the 103 -> 104 update on an AMD chip, cut right after its sector 6 was erased:
// the record is then all that holds the settings' copies.
struct CutPanel {
  RunRig rig;
  PanelBytes before;  // the panel as it was before the update
  fs::path record;
};
void CutAfterSector6Erasure(CutPanel& p) {
  // No record of an earlier panel of the same test.
  std::error_code ignored;
  fs::remove_all(p.rig.stateDir, ignored);
  Prepare(p.rig, k103To104);
  p.before = Contents(p.rig);
  ASSERT_TRUE(CutRun(p.rig, kAfterSector6Erasure, k103To104.file));
  ASSERT_EQ(p.rig.panel.CommandCount(kEraseCommand), 7u);
  const auto records = fs::directory_iterator(p.rig.stateDir / "recovery");
  ASSERT_NE(records, fs::directory_iterator());
  p.record = records->path();
}

TEST(RecoveryRecord, ADamagedRecordIsNamedAndNeverUsed) {
  struct Damage {
    const char* name;
    std::function<void(std::vector<char>&)> apply;
    const char* why;
  };
  const Damage damages[] = {
      {"FlippedByte", [](auto& b) { b[b.size() / 3] ^= 0x10; }, "checksum wrong"},
      {"CutFile", [](auto& b) { b.resize(b.size() - 1000); }, "file cut short"},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    CutPanel p;
    CutAfterSector6Erasure(p);
    std::vector<char> bytes(fs::file_size(p.record));
    std::ifstream(p.record, std::ios::binary).read(bytes.data(), static_cast<long>(bytes.size()));
    d.apply(bytes);
    std::ofstream(p.record, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<long>(bytes.size()));
    // The panel as it was: a run that takes nothing from the record updates it as today.
    Put(p.rig, p.before);
    const PanelBytes want = RunElsewhere(k103To104, p.before, k103To104.file).after;

    EXPECT_EQ(p.rig.core.Program(true), Outcome::Updated);
    const std::string label = "Record " + p.record.filename().string() + ":";
    EXPECT_EQ(p.rig.LineOf(label), L(label, d.why));
    EXPECT_EQ(p.rig.LineOf("Unfinished update:"), "");
    EXPECT_TRUE(Contents(p.rig) == want);
    EXPECT_EQ(fs::file_size(p.record), bytes.size()) << "left for the technician to see";
  }
}

// The questions of a resume: a resume asks first, then every question the normal run would
// ask, unless the record shows the technician answered that very question for this panel
// and this file in the cut run; the line then says so.
const std::string kConvertQuestion =
    "Data format in panel differs from data format in file.\r"
    "Program can automatically convert format in panel.\r\rContinue ?";
const std::string kContinue = "Continue ?";
const std::string kUpdatingOk = "Updating ok.";
const std::string kResumeQuestion = "The update of this panel of ";

struct QuestionCase {
  const char* name;
  bool cutAttended;
  const char* rerunFile;
  std::vector<std::string> boxes;  // of the rerun; the resume's own question by its start
  std::string answeredLine;        // empty: none
};

TEST(RecoveryRecord, AResumeAsksEveryQuestionNotAnsweredForThisPanelAndFile) {
  const QuestionCase cases[] = {
      {"UnattendedCut",
       false,
       "1.04.02",
       {kResumeQuestion, kConvertQuestion, kContinue, kUpdatingOk},
       ""},
      {"AttendedCut",
       true,
       "1.04.02",
       {kResumeQuestion, kUpdatingOk},
       L("Answered before the cut:", "data format, Continue ?")},
      {"AttendedCutAnotherFile",
       true,
       "1.04.03",
       {kResumeQuestion, kConvertQuestion, kContinue, kUpdatingOk},
       ""},
  };
  for (const QuestionCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunRig rig;
    Prepare(rig, k103To104);
    const PanelBytes before = Contents(rig);
    ASSERT_TRUE(CutRun(rig, kAfterSector6Erasure, k103To104.file, c.cutAttended));
    rig.ui.boxes.clear();
    rig.UseProgramFile(c.rerunFile, 1);
    EXPECT_EQ(rig.core.Program(false), Outcome::Updated);
    const auto boxes = rig.ui.BoxTexts();
    ASSERT_EQ(boxes.size(), c.boxes.size()) << ::testing::PrintToString(boxes);
    EXPECT_EQ(boxes[0].rfind(kResumeQuestion, 0), 0u) << boxes[0];
    for (size_t i = 1; i < boxes.size(); ++i) EXPECT_EQ(boxes[i], c.boxes[i]);
    EXPECT_EQ(rig.LineOf("Answered before the cut:"), c.answeredLine);
    EXPECT_TRUE(Contents(rig) == RunElsewhere(k103To104, before, c.rerunFile).after);
  }
}

TEST(RecoveryRecord, NoToTheResumeLeavesEverythingAsItIsAndSaysHowToFinish) {
  CutPanel p;
  CutAfterSector6Erasure(p);
  const PanelBytes cut = Contents(p.rig);
  const auto records = FolderBytes(p.rig.stateDir / "recovery");
  p.rig.ui.answers = {false};
  EXPECT_EQ(p.rig.core.Program(false), Outcome::Declined);
  ASSERT_EQ(p.rig.ui.BoxTexts().size(), 1u);
  EXPECT_EQ(p.rig.ui.BoxTexts().back().rfind(kResumeQuestion, 0), 0u);
  EXPECT_EQ(p.rig.CutShortNote(), (Lines{"Not finished: the panel's update is incomplete.",
                                         "The same command finishes the work."}));
  EXPECT_TRUE(Contents(p.rig) == cut);
  EXPECT_EQ(FolderBytes(p.rig.stateDir / "recovery"), records);

  PowerCycle(p.rig);
  p.rig.ui.answers = {true};
  EXPECT_EQ(p.rig.core.Program(false), Outcome::Updated);
  EXPECT_TRUE(Contents(p.rig) == RunElsewhere(k103To104, p.before, k103To104.file).after);
}

// A record of another panel asks nothing of its own: the run asks what a normal run asks.
TEST(RecoveryRecord, AnotherPanelsRecordLeavesEveryQuestionOfTheNormalRun) {
  CutPanel p;
  CutAfterSector6Erasure(p);
  Put(p.rig, p.before);
  for (auto& b : p.rig.panel.Memory1()) b ^= 0x5A;
  p.rig.ui.boxes.clear();
  EXPECT_EQ(p.rig.core.Program(false), Outcome::Updated);
  EXPECT_EQ(p.rig.LineOf("Unfinished update:"), L("Unfinished update:", "other panel"));
  EXPECT_EQ(p.rig.ui.BoxTexts(),
            (std::vector<std::string>{kConvertQuestion, kContinue, kUpdatingOk}));
}

// The host cannot keep the record (here the state folder's place is taken by a file): the
// run says so in one line and ends before it erases anything, be it the program or, for a
// Starter update, sector 0.
TEST(RecoveryRecord, NoRecordNoChange) {
  for (const uint8_t starterVersion : {0x31, 0x30}) {
    SCOPED_TRACE(starterVersion);
    sim::PanelConfig config;
    config.starterVersion = starterVersion;
    RunRig rig(config);
    Prepare(rig, k103To104);
    rig.UseProgramFile(k103To104.file, 1);
    const PanelBytes before = Contents(rig);
    const std::string saved = std::getenv("XDG_STATE_HOME");
    const fs::path blocked = rig.stateDir.parent_path() / "blocked";
    std::ofstream(blocked) << "not a folder";
    SetEnv("XDG_STATE_HOME", blocked.string());
    const Outcome outcome = rig.core.Program(true);
    SetEnv("XDG_STATE_HOME", saved);
    fs::remove(blocked);

    EXPECT_EQ(outcome, Outcome::RecordNotWritten);
    // The reason is the system's own words; POSIX and Windows word it differently.
    EXPECT_EQ(rig.Lines().back().rfind("Recovery record:", 0), 0u) << rig.Lines().back();
    EXPECT_EQ(rig.Lines().back().find("ok"), std::string::npos) << rig.Lines().back();
#ifndef _WIN32
    EXPECT_EQ(rig.Lines().back(), L("Recovery record:", "Not a directory"));
#endif
    EXPECT_EQ(rig.panel.CommandCount(kEraseCommand), 0u);
    EXPECT_TRUE(Contents(rig) == before);
  }
}

// A resume judges the panel by the version the record names, but the run report, like the
// status line, names what the panel holds: here an erased version record.
TEST(RecoveryRecord, TheRunReportNamesThePanelsVersionAsTheLineShowsIt) {
  RunRig rig;
  Prepare(rig, k103To104);
  ASSERT_TRUE(CutRun(rig, kProgrammingBefore, k103To104.file));
  Core core(rig.gate, rig.clock, rig.ui, rig.log);
  core.Use({rig.core.file.FirmwareFileName, 1, "", false, true, rig.updaters.Path().string()});
  RunReport report = core.BeginRunReport("Program", "test");
  EXPECT_EQ(core.Program(), Outcome::Updated);
  core.FinishRunReport(Outcome::Updated, report);
  EXPECT_EQ(rig.LineOf("Program in panel:"), L("Program in panel:", "???"));
  EXPECT_EQ(report.panelVersion, "???");
}

// The settings backup at the end of a finished update cannot be written (here backups/ is
// taken by a file): the panel is whole all the same, so the record says the update is
// finished, the line says the backup failed, and the next run does not do it again. The
// first run that can file the backup files it.
TEST(RecoveryRecord, AFinishedUpdateStaysFinishedWhenItsBackupFails) {
  RunRig rig;
  Prepare(rig, k103To104);
  rig.UseProgramFile(k103To104.file, 1);
  fs::create_directories(rig.stateDir);
  std::ofstream(rig.stateDir / "backups") << "not a folder";

  EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
  const std::string backup = rig.LineOf("Settings backup:");
  EXPECT_EQ(backup.rfind("Settings backup:", 0), 0u);
  EXPECT_NE(backup.find("failed: "), std::string::npos) << backup;
  const auto records = state::RecordStore().List(state::Folder::Recovery);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].record.phase, state::RecordPhase::Finished);

  const PanelBytes updated = Contents(rig);
  const Sent before = SentSoFar(rig);
  EXPECT_EQ(rig.core.Program(true), Outcome::SameProgram);
  EXPECT_EQ(rig.LineOf("Unfinished update:"), "");
  EXPECT_EQ(rig.LineOf("Programs comparison:"), L("Programs comparison:", kOk));
  EXPECT_EQ(SentSoFar(rig) - before, Sent{}) << "nothing written again";
  EXPECT_TRUE(Contents(rig) == updated);
  EXPECT_EQ(state::RecordStore().List(state::Folder::Recovery).size(), 1u);

  fs::remove(rig.stateDir / "backups");
  EXPECT_EQ(rig.core.Program(true), Outcome::SameProgram);
  EXPECT_TRUE(state::RecordStore().List(state::Folder::Recovery).empty());
  const auto backups = state::RecordStore().List(state::Folder::Backups);
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_EQ(backups[0].record, records[0].record);
  EXPECT_TRUE(Contents(rig) == updated);
}

// A finished update's record joins the backups; where that pushes out the oldest, the log
// says so, and the backup just made is never the one that goes (its name sorts first here,
// as after a clock set back).
TEST(RecoveryRecord, AFinishedUpdateSaysHowManyOlderBackupsWentAndKeepsItsOwn) {
  RunRig rig;
  Prepare(rig, k103To104);
  rig.UseProgramFile(k103To104.file, 1);
  const fs::path backups = rig.stateDir / "backups";
  fs::create_directories(backups);
  fs::permissions(rig.stateDir, fs::perms::owner_all);
  fs::permissions(backups, fs::perms::owner_all);
  for (size_t n = 0; n < state::RecordStore::kBackupsKept; ++n) {
    const fs::path old = backups / ("29991231-0000" + std::to_string(10 + n) + "-00.tavrec");
    std::ofstream(old) << "old";
    fs::permissions(old, fs::perms::owner_read | fs::perms::owner_write);
  }

  EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
  EXPECT_EQ(rig.LineOf("Older backups removed:"), L("Older backups removed:", "1"));
  const auto kept = state::RecordStore().List(state::Folder::Backups);
  ASSERT_EQ(kept.size(), state::RecordStore::kBackupsKept);
  EXPECT_EQ(
      std::count_if(kept.begin(), kept.end(), [](const auto& stored) { return stored.Usable(); }),
      1)
      << "the update's own backup is kept";
}

// A Starter update cut short: on this chip it erases sector 0, the program's first sector,
// before it writes the updater there, and the updater then rewrites the Starter. The run
// recorded the update before that erase, says what it left, and the same command run again
// finishes the whole update.
TEST(RecoveryRecord, AStarterUpdateCutShortIsFinishedByTheNextRun) {
  struct StarterCut {
    const char* name;
    const char* label;
    uint32_t afterAnswers;
    int occurrence;
    const char* left;
  };
  const char* const kStarterLeft = "Cut short: the panel's Starter update is incomplete.";
  const char* const kProgramLeft = "Cut short: the panel's program is incomplete.";
  const StarterCut cuts[] = {
      {"AfterTheSector0Erasure", "Starter updater loading:", 1, 1, kStarterLeft},
      {"MidUpdaterWrite", "Starter updater loading:", 12, 1, kStarterLeft},
      {"WhileTheUpdaterRuns", "Starter updater loading:", 36, 1, kStarterLeft},
      {"NewStarterBeforeTheProgram", "Starter checking:", 100, 2, kProgramLeft},
  };
  sim::PanelConfig oldStarter;
  oldStarter.starterVersion = 0x30;
  const Update& u = k103To104;
  PanelBytes want;
  {
    RunRig twin(oldStarter);
    Prepare(twin, u);
    twin.UseProgramFile(u.file, 1);
    ASSERT_EQ(twin.core.Program(true), Outcome::Updated);
    want = Contents(twin);
  }
  for (const StarterCut& cut : cuts) {
    SCOPED_TRACE(cut.name);
    RunRig rig(oldStarter);
    Prepare(rig, u);
    rig.UseProgramFile(u.file, 1);
    const PanelBytes before = Contents(rig);
    bool cutMade = false;
    rig.hooks.At(
        cut.label, cut.afterAnswers,
        [&] {
          CutTheLine(rig);
          cutMade = true;
        },
        cut.occurrence);
    EXPECT_NE(rig.core.Program(true), Outcome::Updated);
    ASSERT_TRUE(cutMade);
    EXPECT_EQ(rig.CutShortNote(), (Lines{cut.left, "The same command finishes the work."}));
    EXPECT_EQ(rig.panel.CommandCount(kEraseCommand), 1u) << "sector 0 only";
    EXPECT_EQ(rig.Flash(kVersionRecordAt, 6), Bytes(before.flash.begin() + kVersionRecordAt,
                                                    before.flash.begin() + kVersionRecordAt + 6));
    EXPECT_TRUE(rig.panel.Memory1() == before.memory1 && rig.panel.Memory2() == before.memory2);
    const auto records = state::RecordStore().List(state::Folder::Recovery);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].record.kind, state::RecordKind::StarterUpdate);

    PowerCycle(rig);
    EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
    EXPECT_FALSE(rig.LineOf("Unfinished update:").empty());
    EXPECT_TRUE(Contents(rig) == want) << "the panel ends as an uninterrupted run leaves it";
    EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u) << "the record is gone";
  }
}

// The Starter update's record goes once the update's own record stands for the panel.
// Where that removal is refused it is tried again when the run ends: a later run could not
// take it away, as the panel it describes has moved on and no longer matches it.
TEST(RecoveryRecord, AStarterRecordThatCouldNotGoIsRemovedWhenTheRunEnds) {
  sim::PanelConfig oldStarter;
  oldStarter.starterVersion = 0x30;
  RunRig rig(oldStarter);
  Prepare(rig, k103To104);
  rig.UseProgramFile(k103To104.file, 1);
  os::FileFaultPlan plan;
  plan.action = os::FileFaultPlan::Action::Fail;
  plan.at = 1;
  plan.only = os::FileOp::Remove;
  os::ArmFileFaults(std::move(plan));
  EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
  os::DisarmFileFaults();
  const std::string said = rig.LineOf("Recovery record:");
  ASSERT_FALSE(said.empty()) << "the refused removal goes unsaid";
#ifndef _WIN32
  // Windows words the refused write in its own language.
  EXPECT_NE(said.find("Input/output error"), std::string::npos) << said;
#endif
  EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u);
}

}  // namespace
}  // namespace tavrino::test
