// SPDX-License-Identifier: GPL-2.0-or-later
// A panel that stays silent, answers wrongly, refuses, or goes quiet in the middle of a
// phase: one row per situation, each naming the fault, the lines the log must show (in
// order, the last one closing the log) and the outcome.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

struct FailureCase {
  const char* name;
  std::function<void(sim::PanelConfig&)> configure;
  std::function<void(RunRig&)> arrange;
  Lines expected;  // in this order; the last one is the last line of the log
  Outcome outcome;
  std::function<void(RunRig&)> check = nullptr;
};

// From the moment the line with label is open and `answers` more answers came, the panel
// answers nothing at all.
std::function<void(RunRig&)> SilentFrom(const std::string& label, uint32_t answers) {
  return [label, answers](RunRig& rig) {
    rig.hooks.At(label, answers, [&rig] {
      rig.panel.FaultSettings().silentAfterFrames = rig.panel.RequestCount();
    });
  };
}

std::function<void(RunRig&)> IdentifyAnsweredWith(uint8_t code) {
  return [code](RunRig& rig) {
    rig.panel.FaultSettings().refuseCommands = {0x61};
    rig.panel.FaultSettings().errorCode = code;
  };
}

void NoConfig(sim::PanelConfig&) {}
void NoArrange(RunRig&) {}

// clang-format off
const FailureCase kFailureCases[] = {
    {"SilentPanelGivesUpAfter41Attempts", NoConfig,
     [](RunRig& rig) { rig.gate.swallow = 1000; }, {L("Connecting:", kNoConn)},
     Outcome::NoConnection, [](RunRig& rig) { EXPECT_EQ(rig.gate.writes, 41u); }},
    // Attempt 41 goes out at 57600 bit/s in the second handshake variant.
    {"FortySilentAttemptsThenAnAnswerConnect",
     [](sim::PanelConfig& c) { c.listenBaud = 57600; },
     [](RunRig& rig) { rig.gate.swallow = 40; },
     {L("Connecting:", kOk), L("Verification:", kOk), L("Restarting panel", kOk)},
     Outcome::Updated},
    {"EightWrongAnswers", [](sim::PanelConfig& c) { c.badFlashVersion = true; }, NoArrange,
     {L("Connecting:", "bad FLASH version")}, Outcome::PanelRefused},
    {"IdentifiedWithAck", NoConfig, IdentifyAnsweredWith(0x91),
     {L("Connecting:", kOk), L("FLASH type:", "ERROR (ok)")}, Outcome::PanelRefused},
    {"IdentifiedWithError", NoConfig, IdentifyAnsweredWith(0x93),
     {L("FLASH type:", "ERROR (Error)")}, Outcome::PanelRefused},
    {"IdentifiedWithBadCommand", NoConfig, IdentifyAnsweredWith(0x94),
     {L("FLASH type:", "ERROR (bad command)")}, Outcome::PanelRefused},
    {"IdentifiedWithAnotherCode", NoConfig, IdentifyAnsweredWith(0x99),
     {L("FLASH type:", "ERROR (bad answer)")}, Outcome::PanelRefused},
    {"UnknownFlashType", [](sim::PanelConfig& c) { c.flashType = 9; }, NoArrange,
     {L("FLASH type:", "??? (9)")}, Outcome::PanelRefused},
    {"IdentificationNeverAnswered", NoConfig,
     [](RunRig& rig) { rig.panel.FaultSettings().silentCommands = {0x61}; },
     {L("FLASH type:", kNoConn)}, Outcome::NoConnection,
     [](RunRig& rig) { EXPECT_EQ(rig.panel.CommandCount(0x61), 547u); }},
    {"SilentDuringComparison", NoConfig,
     [](RunRig& rig) {
       rig.panel.SynthesizeProgram("1.04.02", 1);
       SilentFrom("Programs comparison:", 3)(rig);
     },
     {L("Programs comparison:", kNoConn)}, Outcome::NoConnection},
    // The updater is half written when the panel goes quiet: the line and the outcome
    // both say no connection, not a refusal.
    {"SilentWhileLoadingTheStarterUpdater",
     [](sim::PanelConfig& c) { c.starterVersion = 0x25; }, SilentFrom("Starter updater loading:", 5),
     {L("Starter checking:", "replacing"), L("Starter updater loading:", kNoConn)},
     Outcome::NoConnection},
    {"StarterUpdaterWriteRefused", [](sim::PanelConfig& c) { c.starterVersion = 0x25; },
     [](RunRig& rig) { rig.panel.FaultSettings().refuseCommands = {0x65}; },
     {L("Starter updater loading:", kBlad)}, Outcome::PanelRefused},
    {"ErasureRefused", NoConfig,
     [](RunRig& rig) { rig.panel.FaultSettings().refuseCommands = {0x66}; },
     {L("FLASH erasing:", kBlad)}, Outcome::PanelRefused},
    {"SilentMidErase", NoConfig, SilentFrom("FLASH erasing:", 2),
     {L("FLASH erasing:", kNoConn)}, Outcome::NoConnection},
    {"WriteRefused", NoConfig,
     [](RunRig& rig) { rig.panel.FaultSettings().refuseCommands = {0x65}; },
     {L("FLASH erasing:", kOk), L("FLASH programing:", kBlad)}, Outcome::PanelRefused},
    {"SilentMidWrite", NoConfig, SilentFrom("FLASH programing:", 100),
     {L("FLASH programing:", kNoConn)}, Outcome::NoConnection},
    {"SilentMidRecovery", NoConfig, SilentFrom("Data recovering:", 10),
     {L("FLASH programing:", kOk), L("Data recovering:", kNoConn)}, Outcome::NoConnection},
    {"SilentMidVerification", NoConfig, SilentFrom("Verification:", 300),
     {L("Verification:", kNoConn)}, Outcome::NoConnection},
    {"CorruptedAnswersRecoveredByRetries", NoConfig,
     [](RunRig& rig) {
       rig.hooks.At("FLASH programing:", 5,
                    [&rig] { rig.panel.FaultSettings().corruptNextAnswers = 3; });
       rig.hooks.At("Verification:", 5,
                    [&rig] { rig.panel.FaultSettings().corruptNextAnswers = 3; });
     },
     {L("FLASH programing:", kOk), L("Verification:", kOk), L("Restarting panel", kOk)},
     Outcome::Updated},
};
// clang-format on

// The case's name in test names and failures, never its bytes.
void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class RunFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(RunFailures, EndWithTheirStatusAndOutcome) {
  const FailureCase& c = GetParam();
  sim::PanelConfig config;
  c.configure(config);
  RunRig rig(config);
  rig.panel.SynthesizeProgram("1.04.01", 1);
  rig.panel.FillSettings(104);
  rig.UseProgramFile("1.04.02", 1);
  c.arrange(rig);

  EXPECT_EQ(rig.core.Program(true), c.outcome);
  const Lines lines = rig.StepLines();
  auto at = lines.begin();
  for (const auto& e : c.expected) {
    at = std::find(at, lines.end(), e);
    EXPECT_NE(at, lines.end()) << "missing in order: " << e;
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), c.expected.back());
  if (c.check) c.check(rig);
}

INSTANTIATE_TEST_SUITE_P(Run, RunFailures, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
