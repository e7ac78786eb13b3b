// SPDX-License-Identifier: GPL-2.0-or-later
// The technician's settings across a Program run, for every chip and every version pair:
// the settings memories and their copies in sector 6 end up exactly as the conversion
// rules say, each converted from its own source, or the run says plainly that it failed.
// What the panel must hold afterwards is worked out here from the layouts written out in
// the settings tests, never from the tool's own tables or default images.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>

#include "sim/PanelImages.h"
#include "state/RecordStore.h"
#include "tests/run/RunRig.h"
#include "tests/settings/ConversionExpectations.h"

namespace tavrino::test {
namespace {

// The panel's flash map as the simulated panel keeps it.
using sim::kBootCopyAt, sim::kBootCopySize, sim::kMemory1CopyAt, sim::kMemory2CopyAt,
    sim::kMemory1Size, sim::kMemory2Size;
constexpr uint8_t kEraseCommand = 0x66;
constexpr uint8_t kWritePageCommand = 0x65;
constexpr uint8_t kWriteMemory1Command = 0x81;

const std::string kConvertQuestion =
    "Data format in panel differs from data format in file.\r"
    "Program can automatically convert format in panel.\r\rContinue ?";
const std::string kSettingsLostQuestion =
    "Data format in panel differs from data format in file.\n"
    "PROGRAM WILL NOT CONVERT DATA FORMAT - SETTINGS WILL BE LOST !!!\n\nContinue ?";
const std::string kUpdatingOk = "Updating ok.";

// Page sums computed here from the page rules: memory 1 has 127 pages (the last one only
// 0xFE00..0xFE5F) with sums at 0xFF00, memory 2 has 64 (the last one only 0xBF00..0xBF7F)
// with sums at 0xBF80.
Memory WithMemory1Sums(Memory m) {
  for (uint32_t page = 0; page < 127; ++page)
    PutSum(m, 0x7F00 + 2 * page, SumOf(m, 256 * page, page == 126 ? 96 : 256));
  return m;
}
Memory WithMemory2Sums(Memory m) {
  for (uint32_t page = 0; page < 64; ++page)
    PutSum(m, 0x3F80 + 2 * page, SumOf(m, 256 * page, page == 63 ? 128 : 256));
  return m;
}

// Everything of the panel that holds settings: both memories and their sector 6 copies.
struct PanelSettings {
  Memory memory1, memory2, copy1, copy2;
};

PanelSettings Read(RunRig& rig) {
  return {rig.panel.Memory1(), rig.panel.Memory2(), rig.Flash(kMemory1CopyAt, kMemory1Size),
          rig.Flash(kMemory2CopyAt, kMemory2Size)};
}

void Write(RunRig& rig, const PanelSettings& s) {
  rig.panel.Memory1() = s.memory1;
  rig.panel.Memory2() = s.memory2;
  std::copy(s.copy1.begin(), s.copy1.end(), rig.panel.Flash().begin() + kMemory1CopyAt);
  std::copy(s.copy2.begin(), s.copy2.end(), rig.panel.Flash().begin() + kMemory2CopyAt);
}

// How the panel's settings stand before the run.
enum class Before {
  // Random settings with good sums, and sector 6 holding a copy of them: the usual panel.
  Saved,
  // Sector 6 holds an older save that differs from the memories, and both images of
  // memory 2 carry stale sums: a run that fills one from the other, or forgets to
  // refresh the sums, shows.
  Diverged,
};

PanelSettings Distinctive(Before before) {
  PanelSettings s;
  s.memory1 = WithMemory1Sums(Scrambled(101, kMemory1Size));
  s.memory2 = WithMemory2Sums(Scrambled(102, kMemory2Size));
  if (before == Before::Saved) {
    s.copy1 = s.memory1;
    s.copy2 = s.memory2;
    return s;
  }
  s.copy1 = WithMemory1Sums(Scrambled(103, kMemory1Size));
  s.copy2 = Scrambled(104, kMemory2Size);
  s.memory2 = Scrambled(102, kMemory2Size);
  return s;
}

std::string FirstDifferenceIn(const char* what, const Memory& got, const Memory& want) {
  const std::string d = FirstDifference(got, want, kBase);
  return d.empty() ? d : std::string(what) + " " + d;
}

void ExpectSame(const PanelSettings& got, const PanelSettings& want) {
  EXPECT_EQ(FirstDifferenceIn("memory 1", got.memory1, want.memory1), "");
  EXPECT_EQ(FirstDifferenceIn("memory 2", got.memory2, want.memory2), "");
  EXPECT_EQ(FirstDifferenceIn("sector 6 copy of memory 1", got.copy1, want.copy1), "");
  EXPECT_EQ(FirstDifferenceIn("sector 6 copy of memory 2", got.copy2, want.copy2), "");
}

// --- The table: every chip, every version pair, unattended and answered Yes ---

struct Chip {
  const char* name;
  uint8_t type;
};
const Chip kChips[] = {{"Atmel", 1},   {"Amd", 2}, {"Macronix", 3},
                       {"Winbond", 4}, {"St", 5},  {"Amic", 6}};

struct VersionPair {
  const char* name;
  const char* panel;
  const char* file;
  const std::string* question;  // the data format question of an interactive run, if any
};
const VersionPair kPairs[] = {
    {"103to104", "1.03.05", "1.04.02", &kConvertQuestion},
    {"104to103", "1.04.02", "1.03.05", &kConvertQuestion},
    {"104to104", "1.04.01", "1.04.02", nullptr},
    {"102to104", "1.02.00", "1.04.02", &kSettingsLostQuestion},
};

using SurviveCase = std::tuple<Chip, VersionPair, bool /*unattended*/, Before>;

// Failures name their case, not its bytes.
const char* Name(Before b) {
  return b == Before::Saved ? "Saved" : "Diverged";
}
void PrintTo(const Chip& c, std::ostream* os) {
  *os << c.name;
}
void PrintTo(const VersionPair& p, std::ostream* os) {
  *os << p.name;
}
void PrintTo(Before b, std::ostream* os) {
  *os << Name(b);
}

// What the run must leave, derived from the rules alone: sector 6 is saved, its memory 2
// sums refreshed, memory 1 converted where the format changes, and written back, when the
// format changes or the chip is one that erases sector 6; the memories themselves are
// converted (memory 2 only gets fresh sums) only for a 103/104 pair. Every image the run
// writes thus carries sums recomputed from the page rules.
struct Expectation {
  bool recovering, converting, erasesSector6;
  PanelSettings after;
};

// "103" of "1.03.05".
std::string Code(const char* version) {
  return {version[0], version[2], version[3]};
}

Expectation Expect(const Chip& chip, const VersionPair& pair, const PanelSettings& before) {
  const std::string panel = Code(pair.panel), file = Code(pair.file);
  const bool pageRewriting = chip.type == 1 || chip.type == 4;
  Expectation e{};
  e.recovering = panel != file || !pageRewriting;
  e.converting = (panel == "103" && file == "104") || (panel == "104" && file == "103");
  e.erasesSector6 = !pageRewriting;
  e.after = before;
  const bool to104 = file == "104";
  if (e.recovering) {
    e.after.copy2 = WithMemory2Sums(before.copy2);
    if (e.converting) e.after.copy1 = ExpectedConversion(before.copy1, to104);
  }
  if (e.converting) {
    e.after.memory1 = ExpectedConversion(before.memory1, to104);
    e.after.memory2 = WithMemory2Sums(before.memory2);
  }
  return e;
}

class SettingsSurvive : public ::testing::TestWithParam<SurviveCase> {};

TEST_P(SettingsSurvive, EveryCopyEndsAsTheConversionDefines) {
  const auto& [chip, pair, unattended, state] = GetParam();
  sim::PanelConfig config;
  config.flashType = chip.type;
  RunRig rig(config);
  rig.panel.SynthesizeProgram(pair.panel, 1);
  const PanelSettings before = Distinctive(state);
  Write(rig, before);
  const Bytes half = rig.UseProgramFile(pair.file, 1);
  const Expectation e = Expect(chip, pair, before);

  ASSERT_EQ(rig.core.Program(unattended), Outcome::Updated);

  Lines tail = {L("FLASH programing:", kOk)};
  if (e.recovering) tail.push_back(L("Data recovering:", kOk));
  if (e.converting) tail.push_back(L("Data conversion:", kOk));
  tail.push_back(L("Verification:", kOk));
  tail.push_back(L("Restarting panel", kOk));
  const Lines lines = rig.Lines();
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(Lines(lines.end() - static_cast<long>(tail.size()), lines.end()), tail);

  const auto boxes = rig.ui.BoxTexts();
  if (unattended) {
    EXPECT_TRUE(boxes.empty());
  } else {
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), kUpdatingOk);
    const long warnings = std::count_if(boxes.begin(), boxes.end(), [](const std::string& b) {
      return b.rfind("Data format in panel differs", 0) == 0;
    });
    EXPECT_EQ(warnings, pair.question ? 1 : 0);
    if (pair.question) {
      EXPECT_EQ(boxes.front(), *pair.question) << "asked before anything else";
    }
  }

  EXPECT_EQ(rig.panel.CommandCount(kEraseCommand), e.erasesSector6 ? 7u : 6u)
      << "six program sectors, and sector 6 only where the chip needs it";
  EXPECT_TRUE(rig.Flash(kBootCopyAt, kBootCopySize) ==
              Bytes(half.begin(), half.begin() + kBootCopySize))
      << "BootCopy is the file's first 16 KiB";
  ExpectSame(Read(rig), e.after);
}

std::string SurviveCaseName(const ::testing::TestParamInfo<SurviveCase>& info) {
  const auto& [chip, pair, unattended, state] = info.param;
  return std::string(chip.name) + "_" + pair.name +
         (unattended ? "_Unattended_" : "_AnsweredYes_") + Name(state);
}

INSTANTIATE_TEST_SUITE_P(Run, SettingsSurvive,
                         ::testing::Combine(::testing::ValuesIn(kChips),
                                            ::testing::ValuesIn(kPairs), ::testing::Bool(),
                                            ::testing::Values(Before::Saved, Before::Diverged)),
                         SurviveCaseName);

// --- A panel whose answers come late ---

// Answers that reach the tool after its time-out, while the panel already takes the copy
// sent again (as through a line adapter that holds bytes back), at moments of the
// settings phases where an answer one behind would shift a block: reading sector 6,
// writing it back, reading the memories, writing them. Every block must still land where
// it belongs, and the run end "ok".
struct LateMoment {
  const char* name;
  const char* label;
  uint32_t afterAnswers;
  uint32_t late, lateByMs;
};
const LateMoment kLateMoments[] = {
    {"ReadingSector6", "Data recovering:", 20, 2, 3100},
    {"WritingSector6Back", "Data recovering:", 250, 1, 3100},
    {"ReadingMemory1", "Reading settings:", 20, 3, 60},
    {"WritingMemory1", "Data conversion:", 60, 2, 60},
    {"WritingMemory2", "Data conversion:", 150, 1, 60},
};

TEST(LateAnswers, LeaveEverySettingsBlockWhereItBelongs) {
  for (const LateMoment& m : kLateMoments) {
    SCOPED_TRACE(m.name);
    sim::PanelConfig config;
    config.flashType = 2;
    RunRig rig(config);
    rig.panel.SynthesizeProgram("1.03.05", 1);
    const PanelSettings before = Distinctive(Before::Saved);
    Write(rig, before);
    rig.UseProgramFile("1.04.02", 1);
    const Expectation e = Expect(kChips[1], kPairs[0], before);
    rig.hooks.At(m.label, m.afterAnswers, [&rig, &m] {
      rig.panel.FaultSettings().lateNextAnswers = m.late;
      rig.panel.FaultSettings().lateByMs = m.lateByMs;
    });

    EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
    EXPECT_EQ(rig.panel.FaultSettings().lateNextAnswers, 0u) << "the fault came";
    EXPECT_EQ(rig.LineOf(m.label), L(m.label, kOk));
    ExpectSame(Read(rig), e.after);
  }
}

// --- Failures inside the settings phases ---

struct SettingsFault {
  const char* name;
  uint8_t flashType;
  const char* label;  // the phase whose line is open when the fault comes
  uint32_t afterAnswers;
  std::function<void(sim::Faults&, uint32_t requestsSoFar)> fault;
  std::string status;
  Outcome outcome;
  // Where the settings are to be found afterwards (before: the panel as it was; converted:
  // what a finished recovery leaves in sector 6).
  std::function<void(const PanelSettings& after, const PanelSettings& before,
                     const PanelSettings& converted)>
      survivors;
};

void SilentFromNow(sim::Faults& f, uint32_t requestsSoFar) {
  f.silentAfterFrames = requestsSoFar;
}
std::function<void(sim::Faults&, uint32_t)> Refuse(uint8_t command) {
  return [command](sim::Faults& f, uint32_t) { f.refuseCommands = {command}; };
}

void AllAsBefore(const PanelSettings& after, const PanelSettings& before, const PanelSettings&) {
  ExpectSame(after, before);
}
void MemoriesAsBefore(const PanelSettings& after, const PanelSettings& before,
                      const PanelSettings&) {
  EXPECT_EQ(FirstDifferenceIn("memory 1", after.memory1, before.memory1), "");
  EXPECT_EQ(FirstDifferenceIn("memory 2", after.memory2, before.memory2), "");
}
void MemoriesAsBeforeSector6Converted(const PanelSettings& after, const PanelSettings& before,
                                      const PanelSettings& converted) {
  ExpectSame(after, {before.memory1, before.memory2, converted.copy1, converted.copy2});
}
void MemoriesInTheRecordSector6Converted(const PanelSettings& after, const PanelSettings& before,
                                         const PanelSettings& converted) {
  EXPECT_EQ(FirstDifferenceIn("sector 6 copy of memory 1", after.copy1, converted.copy1), "");
  EXPECT_EQ(FirstDifferenceIn("sector 6 copy of memory 2", after.copy2, converted.copy2), "");
  const auto records = state::RecordStore().List(state::Folder::Recovery);
  ASSERT_EQ(records.size(), 1u);
  Memory memories = before.memory1;
  memories.insert(memories.end(), before.memory2.begin(), before.memory2.end());
  EXPECT_TRUE(records[0].record.memoriesRead == memories) << "the record keeps them as they were";
}

// Answers counted from the open line: the keypad text, then 192 saved blocks, then (where
// the chip needs it) the erasure, then the 256 written back.
// clang-format off
const SettingsFault kSettingsFaults[] = {
    {"SilentWhileWritingSector6Back", 2, "Data recovering:", 260, SilentFromNow, kNoConn,
     Outcome::NoConnection, MemoriesAsBefore},
    {"Sector6ErasureRefused", 5, "Data recovering:", 0, Refuse(kEraseCommand), kBlad,
     Outcome::PanelRefused, AllAsBefore},
    {"Sector6WriteRefusedOnAtmel", 1, "Data recovering:", 0, Refuse(kWritePageCommand), kBlad,
     Outcome::PanelRefused, AllAsBefore},
    // The memories are read before anything is changed.
    {"SilentWhileReadingTheMemories", 6, "Reading settings:", 100, SilentFromNow, kNoConn,
     Outcome::NoConnection, AllAsBefore},
    // Half converted in the panel, whole as they were in the recovery record.
    {"SilentWhileWritingTheMemories", 6, "Data conversion:", 100, SilentFromNow, kNoConn,
     Outcome::NoConnection, MemoriesInTheRecordSector6Converted},
    // The line is the same as for a silent panel; the outcome says the panel refused.
    {"Memory1WriteRefused", 4, "Data conversion:", 0, Refuse(kWriteMemory1Command), kNoConn,
     Outcome::PanelRefused, MemoriesAsBeforeSector6Converted},
};
// clang-format on

void PrintTo(const SettingsFault& f, std::ostream* os) {
  *os << f.name;
}

class SettingsPhaseFailures : public ::testing::TestWithParam<SettingsFault> {};

TEST_P(SettingsPhaseFailures, SayWhereTheyStoppedAndLoseNoSettings) {
  const SettingsFault& c = GetParam();
  sim::PanelConfig config;
  config.flashType = c.flashType;
  RunRig rig(config);
  rig.panel.SynthesizeProgram("1.03.05", 1);
  const PanelSettings before = Distinctive(Before::Diverged);
  Write(rig, before);
  rig.UseProgramFile("1.04.02", 1);
  rig.hooks.At(c.label, c.afterAnswers,
               [&rig, &c] { c.fault(rig.panel.FaultSettings(), rig.panel.RequestCount()); });

  EXPECT_EQ(rig.core.Program(false), c.outcome);

  ASSERT_FALSE(rig.StepLines().empty());
  EXPECT_EQ(rig.StepLines().back(), L(c.label, c.status));
  const auto boxes = rig.ui.BoxTexts();
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), kUpdatingOk), 0);
  const PanelSettings converted{
      {}, {}, ExpectedConversion(before.copy1, true), WithMemory2Sums(before.copy2)};
  c.survivors(Read(rig), before, converted);
}

INSTANTIATE_TEST_SUITE_P(Run, SettingsPhaseFailures, ::testing::ValuesIn(kSettingsFaults),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
