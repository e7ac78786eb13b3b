// SPDX-License-Identifier: GPL-2.0-or-later
// Stop at every phase of a Program run that goes through all of them (103 -> 104 on an AMD
// chip): the run ends through the failure path of the step it stopped, never hangs, and
// never closes that step with "  ok" nor reports success.
#include <gtest/gtest.h>

#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

struct StopCase {
  const char* label;      // the step that is running when Stop comes
  uint32_t afterAnswers;  // answers of that step before it; kLastProgramBlock: see below
  std::string status;     // how the stopped step's line ends ("" = left without a status)
};

// Stop right after the answer to the last block of the program that holds data: what
// follows is 0xFF blocks that are never sent, so only the loop itself can see the Stop.
constexpr uint32_t kLastProgramBlock = UINT32_MAX;

// clang-format off
const StopCase kStopCases[] = {
    {"Connecting:", 0, kNoConn},
    {"FLASH type:", 1, kNoConn},
    {"Starter checking:", 10, kNoConn},
    {"Program in panel:", 2, kNoConn},
    {"Reading settings:", 20, kNoConn},
    {"FLASH erasing:", 1, kBlad},
    {"FLASH programing:", 50, kBlad},
    {"FLASH programing:", kLastProgramBlock, kBlad},
    {"Data recovering:", 20, kNoConn},
    {"Data conversion:", 20, kNoConn},
    {"Verification:", 100, kNoConn},
    {"Restarting panel", 1, ""},
};
// clang-format on

class StopAtEveryPhase : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopAtEveryPhase, EndsThroughTheFailurePath) {
  const StopCase& c = GetParam();
  RunRig rig;
  rig.panel.SynthesizeProgram("1.03.05", 1);
  rig.panel.FillSettings(103);
  const Bytes half = rig.UseProgramFile("1.04.02", 1);
  uint32_t after = c.afterAnswers;
  if (after == kLastProgramBlock) {
    after = 0;
    for (size_t a = 0; a < half.size(); a += 256)
      if (std::any_of(half.begin() + a, half.begin() + a + 256,
                      [](uint8_t b) { return b != 0xFF; }))
        ++after;
    ASSERT_LT(after, 0x600u);
  }
  rig.hooks.At(c.label, after, [&rig] { rig.core.host.RequestStop(); });

  EXPECT_EQ(rig.core.Program(true), Outcome::Stopped);
  auto lines = rig.StepLines();
  ASSERT_GE(lines.size(), 2u);
  // The stopped step's status is a failure word or nothing; the next line says why.
  EXPECT_EQ(lines.back(), texts::kStoppedByUser);
  lines.pop_back();
  EXPECT_EQ(lines.back().rfind(c.label, 0), 0u) << lines.back();
  if (c.status.empty()) {
    EXPECT_EQ(lines.back(), c.label);
  } else {
    EXPECT_EQ(lines.back(), L(c.label, c.status));
  }
  EXPECT_FALSE(rig.gate.IsOpen());
  // Once the panel has been changed (and until the update is verified), the closing lines
  // say what is left and that the same command finishes it.
  const std::string label = c.label;
  const bool changed = label == "FLASH erasing:" || label == "FLASH programing:" ||
                       label == "Data recovering:" || label == "Data conversion:" ||
                       label == "Verification:";
  EXPECT_EQ(rig.CutShortNote().empty(), !changed);
}

// The phase's label and the answers into it: "FLASHprograming_50".
std::string Name(const StopCase& c) {
  std::string name;
  for (char ch : std::string(c.label))
    if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
  return name + "_" +
         (c.afterAnswers == kLastProgramBlock ? "last" : std::to_string(c.afterAnswers));
}
void PrintTo(const StopCase& c, std::ostream* os) {
  *os << Name(c);
}

INSTANTIATE_TEST_SUITE_P(Run, StopAtEveryPhase, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return Name(info.param); });

TEST(StopAtEveryPhase, StopDuringATestEndsWithoutComparisonOk) {
  RunRig rig;
  rig.panel.SynthesizeProgram("1.04.02", 1);
  rig.UseProgramFile("1.04.02", 1);
  rig.hooks.At("Verification:", 700, [&rig] { rig.core.host.RequestStop(); });
  EXPECT_EQ(rig.core.Test(), Outcome::Stopped);
  const auto lines = rig.StepLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], L("Verification:", kNoConn));
  EXPECT_EQ(lines.back(), texts::kStoppedByUser);
  EXPECT_TRUE(rig.ui.BoxTexts().empty());
}

}  // namespace
}  // namespace tavrino::test
