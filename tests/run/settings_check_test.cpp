// SPDX-License-Identifier: GPL-2.0-or-later
// Reading the settings back after writing them: off, a run sends exactly the exchanges it
// always sent; on, it reads back only what it wrote, writes a difference again once, and
// ends naming the memory and the address when the panel still does not keep it.
#include <gtest/gtest.h>

#include <algorithm>

#include "firmware/Sha256.h"
#include "tests/run/RecoveryRig.h"

namespace tavrino::test {
namespace {

using namespace recovery;
using Spoil = sim::Faults::SpoiledByte;
constexpr uint32_t kAlways = sim::Faults::kAlways;

struct Scenario {
  const char* name;
  uint8_t flashType;
  const char* panel;
  int format;
  const char* file;
  // The requests of an unattended Program run without the check: how many, and the
  // SHA-256 of their bytes in order, as the runs sent them before the check existed.
  size_t requests;
  const char* digest;
};
// clang-format off
const Scenario kScenarios[] = {
    {"From103To104OnAmd", 2, "1.03.05", 103, "1.04.02", 3263,
     "3de77d93760a38ebfdf871d2bbb12b04a9335ed93a0b8a2c35f93f3dceedeea2"},
    {"From104To103OnAmic", 6, "1.04.02", 104, "1.03.05", 3263,
     "7e7fce4444cf8f687d404cf4b8be35806367652a010566014210c2da250c4805"},
    {"From104To104OnSt", 5, "1.04.01", 104, "1.04.02", 2879,
     "a13a0b4686df883a112da32bb6627bb8beb59e617db93048fdc840bee59d2ff5"},
    {"From103To104OnAtmel", 1, "1.03.05", 103, "1.04.02", 3326,
     "7abb24574e50d71322f23ca24fcddeab04eaf8f6cbee948ae5f185e8cc7f3bd2"},
    {"From104To104OnAtmel", 1, "1.04.01", 104, "1.04.02", 2557,
     "88b5fc319d368786a95ba50564c988a17478e6dba19a4f1fb43081a0e1750f28"},
};
// clang-format on
void PrintTo(const Scenario& s, std::ostream* os) {
  *os << s.name;
}

void Prepare(RunRig& rig, const Scenario& s) {
  rig.panel.Config().flashType = s.flashType;
  rig.panel.SynthesizeProgram(s.panel, 1);
  rig.panel.FillSettings(s.format);
  rig.UseProgramFile(s.file, 1);
}

std::vector<const sim::TranscriptEntry*> Requests(const sim::SimulatedPanel& panel) {
  std::vector<const sim::TranscriptEntry*> out;
  for (const auto& e : panel.Transcript())
    if (e.fromTool && !e.dropped) out.push_back(&e);
  return out;
}

std::string Digest(const std::vector<const sim::TranscriptEntry*>& requests) {
  Sha256 hash;
  for (const auto* e : requests) hash.Update(e->raw);
  return Sha256::Hex(hash.Finish());
}

class ReadBack : public ::testing::TestWithParam<Scenario> {};

TEST_P(ReadBack, OffSendsTodaysExchangesAndOnAddsOnlyReadsOfWhatWasWritten) {
  const Scenario& s = GetParam();
  RunRig off;
  Prepare(off, s);
  ASSERT_EQ(off.core.Program(true), Outcome::Updated);
  const auto today = Requests(off.panel);
  EXPECT_EQ(today.size(), s.requests);
  EXPECT_EQ(Digest(today), s.digest) << "the exchanges of a run without the check changed";
  EXPECT_EQ(off.LineOf("Settings check:"), "");

  RunRig on;
  Prepare(on, s);
  on.core.checkSettings = true;
  ASSERT_EQ(on.core.Program(true), Outcome::Updated);
  EXPECT_TRUE(Contents(on) == Contents(off)) << "the check changes nothing";
  // The run with the check is the run without it and one stretch more, after the settings
  // were written and before the verification: the keypad's text and reads, nothing else.
  const auto checked = Requests(on.panel);
  const auto same = [](const auto* a, const auto* b) { return a->raw == b->raw; };
  const size_t head = static_cast<size_t>(
      std::mismatch(today.begin(), today.end(), checked.begin(), checked.end(), same).first -
      today.begin());
  const size_t tail = static_cast<size_t>(
      std::mismatch(today.rbegin(), today.rend(), checked.rbegin(), checked.rend(), same).first -
      today.rbegin());
  ASSERT_GE(head + tail, today.size());
  const bool recovers = on.LineOf("Data recovering:") != "";
  const bool converts = on.LineOf("Data conversion:") != "";
  const size_t reads = (recovers ? 128 : 0) + (converts ? 192 : 0);
  ASSERT_EQ(checked.size() - today.size(), reads == 0 ? 0 : 1 + reads);
  size_t memoryReads = 0, checksums = 0;
  for (size_t i = head; i < head + (checked.size() - today.size()); ++i) {
    const std::string& what = checked[i]->decoded;
    memoryReads += what.rfind("ReadSettings", 0) == 0;
    checksums += what.rfind("Checksum 0x6", 0) == 0;
  }
  EXPECT_EQ(memoryReads, converts ? 192u : 0u);
  EXPECT_EQ(checksums, recovers ? 128u : 0u);
  EXPECT_EQ(on.LineOf("Settings check:"), reads == 0 ? "" : L("Settings check:", kOk));
}

INSTANTIATE_TEST_SUITE_P(Run, ReadBack, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

struct SpoilCase {
  const char* name;
  Scenario scenario;
  Spoil spoil;
  const char* status;  // of the "Settings check:" line
};
const Scenario& Amd103To104 = kScenarios[0];
const Scenario& St104 = kScenarios[2];
const Scenario& Atmel103To104 = kScenarios[3];
// clang-format off
const SpoilCase kSpoilCases[] = {
    {"Memory1Once", Amd103To104, {1, 0x8A13, 1}, "ok (written again)"},
    {"Memory2Always", Amd103To104, {2, 0xBF81, kAlways}, "memory 2 @0xBF81"},
    {"CopyOnceOnAnErasingChip", Amd103To104, {0, 0x6A345, 1}, "ok (written again)"},
    {"CopyAlwaysOnAPageChip", Atmel103To104, {0, 0x6A345, kAlways}, "FLASH @0x6A345"},
    {"BootCopyAlwaysOnAnErasingChip", St104, {0, 0x60010, kAlways}, "FLASH @0x60010"},
};
// clang-format on
void PrintTo(const SpoilCase& c, std::ostream* os) {
  *os << c.name;
}

class SpoiledCell : public ::testing::TestWithParam<SpoilCase> {};

TEST_P(SpoiledCell, IsWrittenAgainOnceThenNamedWithItsAddress) {
  const SpoilCase& c = GetParam();
  RunRig rig;
  Prepare(rig, c.scenario);
  const TwinRun want = RunElsewhere(
      {c.name, c.scenario.flashType, c.scenario.panel, c.scenario.file, c.scenario.format},
      Contents(rig), c.scenario.file);
  rig.core.checkSettings = true;
  rig.panel.FaultSettings().spoil = c.spoil;
  const bool holds = c.spoil.times != kAlways;

  EXPECT_EQ(rig.core.Program(true), holds ? Outcome::Updated : Outcome::SettingsDiffer);
  if (holds) {
    EXPECT_EQ(rig.LineOf("Settings check:"), L("Settings check:", c.status));
    EXPECT_TRUE(Contents(rig) == want.after) << "the panel holds what was written";
    EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u);
    return;
  }
  EXPECT_EQ(rig.LineOf("Settings check:"), L("Settings check:", kBlad + " " + c.status));
  EXPECT_EQ(rig.Lines().back(), "They stay on this computer in the recovery record.");
  EXPECT_EQ(rig.LineOf("Verification:"), "") << "the run ends at the check";
  EXPECT_EQ(rig.panel.RestartCount(), 0u);
  EXPECT_EQ(Files(rig.stateDir / "recovery"), 1u) << "the record that holds them stays";
  EXPECT_EQ(Files(rig.stateDir / "backups"), 0u);
  EXPECT_EQ(ExitCode(Outcome::SettingsDiffer), 5);
  ASSERT_FALSE(rig.KeypadLowerTexts().empty());
  EXPECT_EQ(rig.KeypadLowerTexts().back().substr(0, 6), "Error ");
}

INSTANTIATE_TEST_SUITE_P(Run, SpoiledCell, ::testing::ValuesIn(kSpoilCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
