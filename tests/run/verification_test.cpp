// SPDX-License-Identifier: GPL-2.0-or-later
// Verification that names the bad byte, the Test command, the restart at the end of a run
// with its CTS-following wait, and the Restart command.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

using Lines = std::vector<std::string>;

enum class Command { Program, ProgramUnattended, Test };

struct DifferenceCase {
  const char* name;
  uint8_t flashType;
  Command command;
  uint32_t corruptAt;  // a panel flash byte that goes bad before verification
  bool byteReadsFail;  // the panel stops answering single-byte reads as well
  Lines tail;          // the last lines of the log
  std::string keypad;  // the last keypad text
};

const std::string kProgrammingError = "Programming error !!!";
const std::string kTryAgain = "Try again.";

// clang-format off
const DifferenceCase kDifferenceCases[] = {
    {"NamesTheFirstDifferingByte", 2, Command::Program, 0x2ABCD, false,
     {L("Verification:", kBlad + " @0x2ABCD"), "", kProgrammingError, kTryAgain},
     "Error   @0x2ABCD"},
    {"KeepsLeadingZerosOfTheAddress", 2, Command::Program, 0x0ABCD, false,
     {L("Verification:", kBlad + " @0x0ABCD"), "", kProgrammingError, kTryAgain},
     "Error   @0x0ABCD"},
    {"UnattendedRunStillTellsTheKeypad", 2, Command::ProgramUnattended, 0x0ABCD, false,
     {L("Verification:", kBlad + " @0x0ABCD"), "", kProgrammingError, kTryAgain},
     "Error   @0x0ABCD"},
    {"ByteThatCannotBeReadIsNotNamed", 2, Command::Program, 0x2ABCD, true,
     {L("Verification:", kBlad), "", kProgrammingError, kTryAgain}, "Error  "},
    // Third copy block: flash 0x60400.
    {"BootCopyBlockIsNamed", 1, Command::Program, 0x60407, false,
     {L("Verification:", kBlad + " @0x60400"), "", kProgrammingError, kTryAgain},
     "Error   @0x60400"},
    {"TestRunShowsNoProgrammingErrorLines", 2, Command::Test, 0x2ABCD, false,
     {L("Verification:", kBlad + " @0x2ABCD"), ""}, "Error   @0x2ABCD"},
};
// clang-format on

// The case's name in test names and failures, never its bytes.
void PrintTo(const DifferenceCase& c, std::ostream* os) {
  *os << c.name;
}

class VerificationDifferences : public ::testing::TestWithParam<DifferenceCase> {};

TEST_P(VerificationDifferences, EndTheRunWithTheirPlace) {
  const DifferenceCase& c = GetParam();
  sim::PanelConfig config;
  config.flashType = c.flashType;
  RunRig rig(config);
  rig.UseProgramFile("1.04.02", 1);
  auto spoil = [&rig, c] {
    rig.panel.Flash()[c.corruptAt] ^= 0x01;
    if (c.byteReadsFail) rig.panel.FaultSettings().silentCommands = {0x62};
  };
  if (c.command == Command::Test) {
    rig.panel.SynthesizeProgram("1.04.02", 1);
    spoil();
  } else {
    rig.hooks.At("Verification:", 0, spoil);
  }

  const Outcome outcome = c.command == Command::Test
                              ? rig.core.Test()
                              : rig.core.Program(c.command == Command::ProgramUnattended);
  EXPECT_EQ(outcome, Outcome::VerificationFailed);
  const Lines lines = rig.Lines();
  ASSERT_GE(lines.size(), c.tail.size());
  EXPECT_EQ(Lines(lines.end() - static_cast<long>(c.tail.size()), lines.end()), c.tail);
  ASSERT_FALSE(rig.KeypadLowerTexts().empty());
  std::string keypad = c.keypad;
  keypad.resize(16, ' ');  // the keypad line is always 16 characters
  EXPECT_EQ(rig.KeypadLowerTexts().back(), keypad);
  for (const auto& box : rig.ui.BoxTexts()) {
    EXPECT_NE(box, "Updating ok.");
    EXPECT_NE(box, "Comparison ok.");
  }
}

INSTANTIATE_TEST_SUITE_P(Run, VerificationDifferences, ::testing::ValuesIn(kDifferenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TestCommand, ComparesWithoutWritingOrCheckingTheStarter) {
  RunRig rig;
  rig.UseProgramFile("1.04.02", 1);
  rig.panel.SynthesizeProgram("1.04.02", 1);
  EXPECT_EQ(rig.core.Test(), Outcome::ComparisonOk);
  EXPECT_EQ(rig.Lines(), (Lines{L("File checking:", kOk), L("Connecting:", kOk),
                                L("FLASH type:", "AMD Am29F040"),
                                L("Starter version:", "3.1 eng 12 MHz"), L("Verification:", kOk)}));
  EXPECT_EQ(rig.ui.BoxTexts(), Lines{"Comparison ok."});
  EXPECT_EQ(rig.panel.CommandCount(0x65) + rig.panel.CommandCount(0x66) +
                rig.panel.CommandCount(0x81) + rig.panel.CommandCount(0x82),
            0u);
  EXPECT_FALSE(rig.gate.IsOpen());
}

// The time the wait box stays up after the restart command.
uint32_t WaitBoxMs(RunRig& rig) {
  uint32_t shownAt = 0, lastSeen = 0;
  rig.ui.onPump = [&] {
    if (!rig.ui.waitBoxVisible) return;
    if (shownAt == 0) shownAt = rig.clock.NowMs();
    lastSeen = rig.clock.NowMs();
  };
  rig.panel.SynthesizeProgram("1.04.02", 1);
  rig.UseProgramFile("1.04.02", 1);
  EXPECT_EQ(rig.core.Program(true), Outcome::SameProgram);
  EXPECT_EQ(rig.ui.waitBoxShown, 1);
  EXPECT_FALSE(rig.ui.waitBoxVisible);
  return lastSeen - shownAt;
}

TEST(RestartWait, EndsSoonAfterCtsComesOn) {
  sim::PanelConfig config;
  config.ctsDelayMs = 500;
  RunRig rig(config);
  const uint32_t waited = WaitBoxMs(rig);
  // Four polls of 60 ms with CTS on end the wait.
  EXPECT_GE(waited, 500u);
  EXPECT_LE(waited, 500u + 5 * 60 + 25);
}

TEST(RestartWait, LastsItsFullTimeWhenCtsStaysOff) {
  sim::PanelConfig config;
  config.ctsDelayMs = 60000;
  RunRig rig(config);
  const uint32_t waited = WaitBoxMs(rig);
  EXPECT_GE(waited, 191u * 60);
  EXPECT_LE(waited, 193u * 60 + 25);
}

TEST(RestartAtTheEnd, FailedRestartIsNotAnUpdate) {
  RunRig rig;
  rig.UseProgramFile("1.04.02", 1);
  // The panel no longer answers a handshake (either variant): the restart fails.
  rig.hooks.At("Verification:", 0, [&rig] {
    rig.panel.FaultSettings().silentCommands = {0x1B, 0x0D};
  });
  EXPECT_EQ(rig.core.Program(false), Outcome::NoConnection);
  const Lines lines = rig.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], L("Verification:", kOk));
  EXPECT_EQ(lines.back(), L("Restarting panel", kBlad));
  // The program was written and verified, so the closing box still says so.
  EXPECT_EQ(rig.ui.BoxTexts(), (Lines{"Continue ?", "Updating ok."}));
}

struct RestartCase {
  const char* name;
  std::function<void(RunRig&)> arrange;
  Lines log;
  Outcome outcome;
};

// clang-format off
const RestartCase kRestartCases[] = {
    {"NoPortChosenWritesNothing", [](RunRig& rig) { rig.ui.dialogPort = 0; }, {},
     Outcome::PortNotOpened},
    {"Accepted", [](RunRig&) {}, {L("Restarting panel", kOk)}, Outcome::RestartOk},
    {"SilentPanel", [](RunRig& rig) { rig.gate.swallow = 1000; },
     {L("Restarting panel", kBlad)}, Outcome::NoConnection},
    {"StoppedLeavesTheLineOpen",
     [](RunRig& rig) { rig.hooks.At("Restarting panel", 0, [&rig] { rig.core.host.RequestStop(); }); },
     {"Restarting panel", texts::kStoppedByUser}, Outcome::Stopped},
};
// clang-format on

// The case's name in test names and failures, never its bytes.
void PrintTo(const RestartCase& c, std::ostream* os) {
  *os << c.name;
}

class RestartCommand : public ::testing::TestWithParam<RestartCase> {};

TEST_P(RestartCommand, EndsAsThePanelAnswers) {
  const RestartCase& c = GetParam();
  RunRig rig;
  c.arrange(rig);
  EXPECT_EQ(rig.core.Restart(), c.outcome);
  EXPECT_EQ(rig.Lines(), c.log);
  EXPECT_FALSE(rig.gate.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Run, RestartCommand, ::testing::ValuesIn(kRestartCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
