// SPDX-License-Identifier: GPL-2.0-or-later
// The serial line vanishes (adapter unplugged, terminal hung up) in the middle of a phase
// that changes or proves the panel: the run ends at once as a port failure, and the phase's
// line says the port stopped working, instead of waiting out its time-outs and blaming the
// panel.
#include <gtest/gtest.h>

#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

struct LostCase {
  const char* name;
  const char* label;   // the phase whose line is open when the line goes
  uint32_t answers;    // answers into that phase
  int settingsFormat;  // of the panel; 103 makes the run convert its settings
  uint32_t timeoutMs;  // the phase's time-out for one answer: the run must not wait it out
  uint8_t starterVersion = 0x31;  // an older one makes the run update the Starter first
};

void PrintTo(const LostCase& c, std::ostream* os) {
  *os << c.name;
}

// clang-format off
const LostCase kLostCases[] = {
    {"MidStarterUpdate", "Starter updater loading:", 5, 104, 3000, 0x25},
    // After the restart into the updater: the erase, the 33 blocks and the restart answered.
    {"AfterTheStarterUpdateRestart", "Starter updater loading:", 35, 104, 3000, 0x25},
    {"MidErase",         "FLASH erasing:",    1,   104, 15000},
    {"MidWrite",         "FLASH programing:", 100, 104, 3000},
    {"MidSettingsWrite", "Data recovering:",  10,  104, 49},
    {"MidConversion",    "Data conversion:",  10,  103, 49},
    {"MidVerification",  "Verification:",     300, 104, 3000},
};
// clang-format on

class PortLost : public ::testing::TestWithParam<LostCase> {};

TEST_P(PortLost, EndsThePortNotOpenedAtOnceAndSaysSo) {
  const LostCase& c = GetParam();
  sim::PanelConfig config;
  config.starterVersion = c.starterVersion;
  RunRig rig(config);
  rig.panel.SynthesizeProgram(c.settingsFormat == 103 ? "1.03.05" : "1.04.01", 1);
  rig.panel.FillSettings(c.settingsFormat);
  rig.UseProgramFile("1.04.02", 1);
  uint32_t cutAtMs = 0;
  rig.hooks.At(c.label, c.answers, [&] {
    // The next request takes the line with it.
    rig.panel.FaultSettings().dieAfterFrames = rig.panel.RequestCount();
    cutAtMs = rig.clock.NowMs();
  });

  EXPECT_EQ(rig.core.Program(true), Outcome::PortNotOpened);
  ASSERT_NE(cutAtMs, 0u) << "the line was never cut";
  EXPECT_TRUE(rig.panel.LineDead());
  const Lines lines = rig.StepLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), L(c.label, texts::kPortGone));
  EXPECT_LT(rig.clock.NowMs() - cutAtMs, c.timeoutMs) << "a time-out was waited out";
}

INSTANTIATE_TEST_SUITE_P(Run, PortLost, ::testing::ValuesIn(kLostCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
