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

#include "state/RecordStore.h"
#include "support/TestFolders.h"
#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kVersionRecordAt = 0x12000;
constexpr uint8_t kEraseCommand = 0x66;

struct Update {
  const char* name;
  uint8_t flashType;
  const char* panel;
  const char* file;
  int format;  // the panel's settings format
};
const Update kUpdates[] = {
    {"103to104", 2, "1.03.05", "1.04.02", 103},
    {"104to103", 6, "1.04.02", "1.03.05", 104},
    {"Same104OnAnSt", 5, "1.04.01", "1.04.02", 104},
};

// Where the line is cut: the phase's line and the answers it has had. The programming
// cuts are made on either side of the block that holds the version record.
struct Cut {
  const char* name;
  const char* label;
  uint32_t afterAnswers;
  bool conversionOnly;
};
const Cut kCuts[] = {
    {"ProgrammingBeforeTheVersionRecord", "FLASH programing:", 40, false},
    {"ProgrammingAfterTheVersionRecord", "FLASH programing:", 0, false},  // see Panel()
    {"AfterTheSector6Erasure", "Data recovering:", 194, false},
    {"MidSector6WriteBack", "Data recovering:", 300, false},
    {"MidReadingMemory1", "Data conversion:", 60, true},
    {"MidReadingMemory2", "Data conversion:", 160, true},
    {"MidWritingMemory1", "Data conversion:", 250, true},
    {"MidWritingMemory2", "Data conversion:", 350, true},
    {"MidVerification", "Verification:", 300, false},
};

// The panel as the technician finds it; its sector 6 copies differ from its memories, so
// that settings taken from the wrong place show.
void Prepare(RunRig& rig, const Update& u) {
  rig.panel.Config().flashType = u.flashType;
  rig.panel.SynthesizeProgram(u.panel, 0);
  rig.panel.FillSettings(u.format);
  auto& flash = rig.panel.Flash();
  for (uint32_t i = 0x64000; i < 0x70000; ++i) flash[i] ^= static_cast<uint8_t>(i * 13 + 7);
}

// Programming answers until the block of the version record has been written.
uint32_t AnswersThroughVersionRecord(const Bytes& half) {
  uint32_t answers = 0;
  for (uint32_t a = 0; a <= kVersionRecordAt; a += 256)
    if (std::any_of(half.begin() + a, half.begin() + a + 256, [](uint8_t b) { return b != 0xFF; }))
      ++answers;
  return answers + 1;
}

struct PanelBytes {
  Bytes flash, memory1, memory2;
  bool operator==(const PanelBytes&) const = default;
};
PanelBytes Contents(RunRig& rig) {
  return {rig.panel.Flash(), rig.panel.Memory1(), rig.panel.Memory2()};
}

PanelBytes Uninterrupted(const Update& u) {
  RunRig twin;
  Prepare(twin, u);
  twin.UseProgramFile(u.file, 1);
  EXPECT_EQ(twin.core.Program(true), Outcome::Updated);
  return Contents(twin);
}

size_t Files(const fs::path& dir) {
  std::error_code e;
  if (!fs::is_directory(dir, e)) return 0;
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// The line goes silent from here on: the cable pulled, the panel's supply gone.
void CutTheLine(RunRig& rig) {
  rig.panel.FaultSettings().silentAfterFrames = rig.panel.RequestCount();
}
void PowerCycle(RunRig& rig) {
  rig.panel.FaultSettings() = {};
  rig.panel.PowerOn();
}

using CutCase = std::tuple<Update, Cut>;
void PrintTo(const Update& u, std::ostream* os) {
  *os << u.name;
}
void PrintTo(const Cut& c, std::ostream* os) {
  *os << c.name;
}

class CutShort : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutShort, TheNextRunFinishesTheUpdateExactly) {
  const auto& [u, cut] = GetParam();
  const bool converting = std::string(u.panel).substr(0, 4) != std::string(u.file).substr(0, 4);
  if (cut.conversionOnly && !converting) GTEST_SKIP() << "no conversion in this update";
  const PanelBytes want = Uninterrupted(u);

  RunRig rig;
  Prepare(rig, u);
  const Bytes half = rig.UseProgramFile(u.file, 1);
  const size_t backupsBefore = Files(rig.stateDir / "backups");  // the twin's
  uint32_t after = cut.afterAnswers;
  if (std::string(cut.name) == "ProgrammingAfterTheVersionRecord")
    after = AnswersThroughVersionRecord(half) + 5;
  bool cutMade = false;
  rig.hooks.At(cut.label, after, [&] {
    CutTheLine(rig);
    cutMade = true;
  });
  EXPECT_EQ(rig.core.Program(true), Outcome::NoConnection);
  ASSERT_TRUE(cutMade);
  EXPECT_EQ(rig.CutShortNote().size(), 2u) << "the run says what it left";
  if (std::string(cut.name) == "ProgrammingBeforeTheVersionRecord") {
    ASSERT_EQ(rig.Flash(kVersionRecordAt, 5), Bytes(5, 0xFF)) << "cut while the record is erased";
  }
  if (std::string(cut.name) == "ProgrammingAfterTheVersionRecord") {
    const Bytes chars = {uint8_t(u.file[0]), uint8_t(u.file[2]), uint8_t(u.file[3]),
                         uint8_t(u.file[5]), uint8_t(u.file[6])};
    ASSERT_EQ(rig.Flash(kVersionRecordAt, 5), chars) << "cut once the record is the new one";
  }
  ASSERT_EQ(Files(rig.stateDir / "recovery"), 1u);

  PowerCycle(rig);
  EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
  EXPECT_EQ(rig.LineOf("Unfinished update:").empty(), false);
  EXPECT_TRUE(Contents(rig) == want) << "the panel ends as an uninterrupted run leaves it";
  EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u) << "the record is retired";
  EXPECT_EQ(Files(rig.stateDir / "backups"), backupsBefore + 1) << "kept as a settings backup";
}

INSTANTIATE_TEST_SUITE_P(
    Run, CutShort, ::testing::Combine(::testing::ValuesIn(kUpdates), ::testing::ValuesIn(kCuts)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

// A panel of the 103 -> 104 update on an AMD chip, cut right after its sector 6 was erased:
// the record is then all that holds the settings' copies.
struct CutPanel {
  RunRig rig;
  PanelBytes before;  // the panel as it was before the update
  fs::path record;
};
void CutAfterSector6Erasure(CutPanel& p) {
  Prepare(p.rig, kUpdates[0]);
  p.rig.UseProgramFile(kUpdates[0].file, 1);
  p.before = Contents(p.rig);
  p.rig.hooks.At("Data recovering:", 194, [&p] { CutTheLine(p.rig); });
  ASSERT_EQ(p.rig.core.Program(true), Outcome::NoConnection);
  ASSERT_EQ(p.rig.panel.CommandCount(kEraseCommand), 7u);
  PowerCycle(p.rig);
  const auto records = fs::directory_iterator(p.rig.stateDir / "recovery");
  ASSERT_NE(records, fs::directory_iterator());
  p.record = records->path();
}
void Put(RunRig& rig, const PanelBytes& b) {
  rig.panel.Flash() = b.flash;
  rig.panel.Memory1() = b.memory1;
  rig.panel.Memory2() = b.memory2;
}

TEST(RecoveryRecord, AnotherPanelsRecordIsNotApplied) {
  CutPanel p;
  CutAfterSector6Erasure(p);
  // Another panel of the same chip, Starter and program, with settings of its own.
  PanelBytes other = p.before;
  for (size_t i = 0; i < other.memory1.size(); ++i) other.memory1[i] ^= 0x5A;
  for (uint32_t i = 0x64000; i < 0x70000; ++i) other.flash[i] ^= 0xA5;
  Put(p.rig, other);
  RunRig twin;
  Prepare(twin, kUpdates[0]);
  Put(twin, other);
  twin.UseProgramFile(kUpdates[0].file, 1);
  ASSERT_EQ(twin.core.Program(true), Outcome::Updated);

  EXPECT_EQ(p.rig.core.Program(true), Outcome::Updated);
  EXPECT_EQ(p.rig.LineOf("Unfinished update:"), L("Unfinished update:", "other panel"));
  EXPECT_TRUE(Contents(p.rig) == Contents(twin)) << "the other panel is updated as today";
  EXPECT_TRUE(fs::exists(p.record)) << "the record stays for its own panel";
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
    const PanelBytes want = Uninterrupted(kUpdates[0]);

    EXPECT_EQ(p.rig.core.Program(true), Outcome::Updated);
    const std::string label = "Record " + p.record.filename().string() + ":";
    EXPECT_EQ(p.rig.LineOf(label), L(label, d.why));
    EXPECT_EQ(p.rig.LineOf("Unfinished update:"), "");
    EXPECT_TRUE(Contents(p.rig) == want);
    EXPECT_EQ(fs::file_size(p.record), bytes.size()) << "left for the technician to see";
  }
}

TEST(RecoveryRecord, AnAttendedRunAsksFirstAndNoLeavesEverythingAsItIs) {
  CutPanel p;
  CutAfterSector6Erasure(p);
  const PanelBytes cut = Contents(p.rig);
  const auto recordBytes = fs::file_size(p.record);
  p.rig.ui.answers = {false};
  EXPECT_EQ(p.rig.core.Program(false), Outcome::Declined);
  ASSERT_FALSE(p.rig.ui.BoxTexts().empty());
  EXPECT_EQ(p.rig.ui.BoxTexts().back().rfind("The update of this panel of ", 0), 0u);
  EXPECT_TRUE(Contents(p.rig) == cut);
  EXPECT_EQ(fs::file_size(p.record), recordBytes);

  PowerCycle(p.rig);
  p.rig.ui.answers = {true};
  EXPECT_EQ(p.rig.core.Program(false), Outcome::Updated);
  EXPECT_TRUE(Contents(p.rig) == Uninterrupted(kUpdates[0]));
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
    Prepare(rig, kUpdates[0]);
    rig.UseProgramFile(kUpdates[0].file, 1);
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
  const Update& u = kUpdates[0];
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

}  // namespace
}  // namespace tavrino::test
