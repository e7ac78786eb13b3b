// SPDX-License-Identifier: GPL-2.0-or-later
// A recovery record meets a panel: the record of an update cut short, and the panel the next
// run finds on the line, which may be the same one, the same one updated from another
// computer, or another panel of the same kind. A record is applied only to the panel whose
// own data proves it is the one, in a state the cut run can have left; any other record is
// left alone, and the run goes on as a normal run. Each row says what the panel holds
// afterwards, byte for byte, and what was sent to it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/run/RecoveryRig.h"

namespace tavrino::test {
namespace {

using namespace recovery;

// The panel the next run finds.
enum class Found {
  Same,              // the panel of the cut run, as the cut left it
  UpdatedElsewhere,  // the same panel, updated whole from another computer since
  OtherSettings,     // another panel of the same kind and program, with settings of its own
  OtherBlankCopies,  // another such panel, with settings of its own and sector 6 erased
  OtherWhole,        // another panel that already holds Starter 3.1 and the file's program
  OtherNewStarter,   // another panel of the same program, with settings of its own and
                     // Starter 3.1, as the cut run's Starter update can have left its own
};

// What the next run must do with the record.
enum class Fate {
  Applied,          // the update finishes from it: as an uninterrupted run from before the cut
  LeftAlone,        // "other panel": a normal run, and the record kept as it is
  AppliedUnproven,  // indistinguishable from its panel, with nothing to convert: finishes
                    // from it, and no settings memory is written
  Refused,          // it cannot prove the settings this file would convert: nothing changes
};

struct Step {
  Cut cut;
  const char* file;
};

struct Pairing {
  const char* name;
  Update update;
  std::vector<Step> record;  // the runs that made the record, each cut short
  Found found;
  const char* rerunFile;
  Fate fate;
  // Settings memory writes of the next run where they are not the twin run's: the memories
  // a cut run left half converted are put back before a file of the panel's own format.
  int memoryWrites = -1;
  uint8_t starterVersion = 0x31;  // of the panel before the first run
};

void PrintTo(const Pairing& p, std::ostream* os) {
  *os << p.name;
}

const char* const k10403 = "1.04.03";
constexpr uint32_t kStarterArea = 0x70000;
const char* const k10306 = "1.03.06";

// clang-format off
const Pairing kPairings[] = {
    // The same panel, updated whole from another computer: nothing was left to finish.
    {"UpdatedElsewhereAfterAProgrammingCut", k103To104, {{kProgrammingBefore, "1.04.02"}},
     Found::UpdatedElsewhere, "1.04.02", Fate::LeftAlone},
    {"UpdatedElsewhereAfterASector6Cut", k103To104, {{kAfterSector6Erasure, "1.04.02"}},
     Found::UpdatedElsewhere, "1.04.02", Fate::LeftAlone},
    {"UpdatedElsewhereWithoutConversion", kSame104OnAnSt, {{kProgrammingBefore, "1.04.02"}},
     Found::UpdatedElsewhere, "1.04.02", Fate::LeftAlone},
    // Cut in the verification or the conversion, the panel holds what the cut run wrote:
    // finishing it again writes the very same bytes.
    {"UpdatedElsewhereAfterAMemoriesCut", k103To104, {{kMidWritingMemory1, "1.04.02"}},
     Found::UpdatedElsewhere, "1.04.02", Fate::Applied},
    // Another panel of the same chip, board, Starter and program.
    {"AnotherPanelAfterAProgrammingCut", k103To104, {{kProgrammingAfter, "1.04.02"}},
     Found::OtherSettings, "1.04.02", Fate::LeftAlone},
    {"AnotherPanelAfterASector6Cut", k103To104, {{kAfterSector6Erasure, "1.04.02"}},
     Found::OtherSettings, "1.04.02", Fate::LeftAlone},
    {"AnotherPanelAfterAMemoriesCut", k103To104, {{kMidWritingMemory1, "1.04.02"}},
     Found::OtherSettings, "1.04.02", Fate::LeftAlone},
    {"AnotherPanelWithoutConversion", kSame104OnAnSt, {{kProgrammingBefore, "1.04.02"}},
     Found::OtherSettings, "1.04.02", Fate::LeftAlone},
    {"AnotherPanelWithBlankCopiesAfterAProgrammingCut", k103To104,
     {{kProgrammingBefore, "1.04.02"}}, Found::OtherBlankCopies, "1.04.02", Fate::LeftAlone},
    {"AnotherPanelWithBlankCopiesAfterASector6Cut", k103To104, {{kAfterSector6Erasure, "1.04.02"}},
     Found::OtherBlankCopies, "1.04.02", Fate::LeftAlone},
    // Erased copies and no conversion ahead: two such panels cannot be told apart, so the
    // record is applied, and that converts nothing.
    {"BlankCopiesWithoutConversionCannotBeToldApart", kSame104OnAnSt,
     {{kAfterSector6Erasure, "1.04.02"}}, Found::OtherBlankCopies, "1.04.02", Fate::AppliedUnproven},
    // ... but a file that would convert the settings needs them proven.
    {"ErasedCopiesCannotProveAConversion", kSame104OnAnSt, {{kAfterSector6Erasure, "1.04.02"}},
     Found::Same, "1.03.05", Fate::Refused},
    // The very first erase refused: the record stays, and binds to its panel only.
    {"FirstEraseRefusedOnItsPanel", k103To104, {{kFirstEraseRefused, "1.04.02"}}, Found::Same,
     "1.04.02", Fate::Applied},
    {"FirstEraseRefusedAnotherPanel", k103To104, {{kFirstEraseRefused, "1.04.02"}},
     Found::OtherSettings, "1.04.02", Fate::LeftAlone},
    // A Starter update's record.
    {"StarterUpdateAgainstAWholePanel", k103To104, {{kMidUpdaterWrite, "1.04.02"}},
     Found::OtherWhole, "1.04.02", Fate::LeftAlone, -1, kOldStarter},
    {"StarterUpdateAgainstAnotherPanelOfItsProgram", k103To104, {{kMidUpdaterWrite, "1.04.02"}},
     Found::OtherNewStarter, "1.04.02", Fate::LeftAlone, -1, kOldStarter},
    {"StarterUpdateAgainstItsPanelUpdatedElsewhere", k103To104, {{kMidUpdaterWrite, "1.04.02"}},
     Found::UpdatedElsewhere, "1.04.02", Fate::LeftAlone, -1, kOldStarter},
    {"StarterUpdateOnItsPanel", k103To104, {{kMidUpdaterWrite, "1.04.02"}}, Found::Same,
     "1.04.02", Fate::Applied, -1, kOldStarter},
    // Another file on the rerun: the settings end converted once, from the record's, to the
    // file's format.
    {"OtherFileAfterAProgrammingCut", k103To104, {{kProgrammingAfter, "1.04.02"}}, Found::Same,
     k10403, Fate::Applied},
    {"OtherFileAfterASector6Cut", k103To104, {{kMidSector6WriteBack, "1.04.02"}}, Found::Same,
     k10403, Fate::Applied},
    {"OtherFileAfterAMemoriesCut", k103To104, {{kMidWritingMemory2, "1.04.02"}}, Found::Same,
     k10403, Fate::Applied},
    {"FileOfThePanelsFormatAfterAMemoriesCut", k103To104, {{kMidWritingMemory1, "1.04.02"}},
     Found::Same, k10306, Fate::Applied, 192},
    {"FileOfThePanelsFormatAfterAProgrammingCut", k104To103, {{kProgrammingBefore, "1.03.05"}},
     Found::Same, "1.04.03", Fate::Applied},
    // A second file cut just after its first erase, the first one cut in its conversion:
    // the record still guards what the first left half written.
    {"SecondFileCutAfterItsFirstEraseThenIt", k103To104,
     {{kMidWritingMemory1, "1.04.02"}, {{"FirstErase", "FLASH erasing:", 1}, k10403}}, Found::Same,
     k10403, Fate::Applied},
    {"SecondFileCutAfterItsFirstEraseThenTheFirst", k103To104,
     {{kMidWritingMemory1, "1.04.02"}, {{"FirstErase", "FLASH erasing:", 1}, k10403}}, Found::Same,
     "1.04.02", Fate::Applied},
    {"SecondFileOfThePanelsFormatCutInItsProgramming", k103To104,
     {{kMidWritingMemory2, "1.04.02"}, {kProgrammingAfter, k10306}}, Found::Same, k10403,
     Fate::Applied},
};
// clang-format on

// Another panel's settings: other memories, other copies.
PanelBytes OtherSettings(PanelBytes p) {
  for (auto& b : p.memory1) b ^= 0x5A;
  for (auto& b : p.memory2) b ^= 0x3C;
  for (uint32_t i = 0x64000; i < 0x70000; ++i) p.flash[i] ^= 0xA5;
  return p;
}

class RecordMeetsPanel : public ::testing::TestWithParam<Pairing> {};

TEST_P(RecordMeetsPanel, AppliedOnlyWhereThePanelsOwnDataProvesIt) {
  const Pairing& c = GetParam();
  RunRig rig;
  Prepare(rig, c.update, c.starterVersion);
  const PanelBytes original = Contents(rig);
  for (const Step& step : c.record) {
    SCOPED_TRACE(step.cut.name);
    ASSERT_TRUE(CutRun(rig, step.cut, step.file)) << "the cut was never made";
  }
  const auto records = FolderBytes(rig.stateDir / "recovery");
  ASSERT_EQ(records.size(), 1u) << "one record stands for the panel";

  switch (c.found) {
    case Found::Same:
      break;
    case Found::UpdatedElsewhere:
      Put(rig, RunElsewhere(c.update, original, c.record[0].file).after);
      break;
    case Found::OtherSettings:
      Put(rig, OtherSettings(original));
      break;
    case Found::OtherBlankCopies: {
      PanelBytes other = OtherSettings(original);
      std::fill(other.flash.begin() + 0x64000, other.flash.begin() + 0x70000, 0xFF);
      Put(rig, other);
      break;
    }
    case Found::OtherNewStarter: {
      PanelBytes other = OtherSettings(original);
      RunRig newStarter;
      std::copy(newStarter.panel.Flash().begin() + kStarterArea, newStarter.panel.Flash().end(),
                other.flash.begin() + kStarterArea);
      other.starterVersion = newStarter.panel.Config().starterVersion;
      Put(rig, other);
      break;
    }
    case Found::OtherWhole: {
      PanelBytes other = OtherSettings(original);
      other.starterVersion = 0x31;
      Put(rig, RunElsewhere(c.update, other, c.rerunFile).after);
      break;
    }
  }
  const PanelBytes found = Contents(rig);

  // What the rerun must come to: the update finished from before the cut, or a normal run
  // of the panel it found.
  TwinRun want;
  switch (c.fate) {
    case Fate::Applied:
      want = RunElsewhere(c.update, original, c.rerunFile);
      if (c.memoryWrites >= 0) {
        want.sent.memory1Writes = static_cast<uint32_t>(c.memoryWrites * 2 / 3);
        want.sent.memory2Writes = static_cast<uint32_t>(c.memoryWrites / 3);
      }
      break;
    case Fate::LeftAlone:
      want = RunElsewhere(c.update, found, c.rerunFile);
      break;
    case Fate::AppliedUnproven:
      // The program and sector 6 as the record's run leaves them, the found memories.
      want = RunElsewhere(c.update, original, c.rerunFile);
      want.after.memory1 = found.memory1;
      want.after.memory2 = found.memory2;
      break;
    case Fate::Refused:
      want = {Outcome::FileCannotFinishUpdate, found, {}};
      break;
  }

  const Sent before = SentSoFar(rig);
  rig.UseProgramFile(c.rerunFile, 1);
  EXPECT_EQ(rig.core.Program(true), want.outcome);
  EXPECT_TRUE(Contents(rig) == want.after) << "the panel afterwards";
  EXPECT_EQ(SentSoFar(rig) - before, want.sent) << "what was sent to change it";

  const std::string unfinished = rig.LineOf("Unfinished update:");
  if (c.fate == Fate::LeftAlone) {
    EXPECT_EQ(unfinished, L("Unfinished update:", "other panel"));
    EXPECT_TRUE(FolderBytes(rig.stateDir / "recovery") == records)
        << "the record is kept as it was";
  } else if (c.fate == Fate::Refused) {
    EXPECT_NE(unfinished, L("Unfinished update:", "other panel"));
    EXPECT_FALSE(unfinished.empty());
    EXPECT_TRUE(FolderBytes(rig.stateDir / "recovery") == records)
        << "the record is kept as it was";
  } else {
    EXPECT_NE(unfinished, L("Unfinished update:", "other panel"));
    EXPECT_FALSE(unfinished.empty());
    EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u) << "the record is retired";
  }
}

INSTANTIATE_TEST_SUITE_P(Run, RecordMeetsPanel, ::testing::ValuesIn(kPairings),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
