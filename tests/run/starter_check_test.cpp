// The Starter check inside the identification: a good Starter passes, a bad or foreign one
// is offered an update, the run goes on with the new Starter, and a run never updates twice.
#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "sim/PanelFlash.h"
#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

const std::string kUpdateQuestion = "Update starter to version  3.1 eng  ?";
const std::string kSupplyQuestion =
    "Update starter ?\n\nIf you want to press 'Yes', make sure that there will be\n"
    "no interrupt in AC and DC panel supply.";
const std::string kOutputsQuestion =
    "For the updating time\nOUT1..OUT8, +KPD, +EX1 and +EX2 outputs will be switched off.\n\n"
    "Continue ?";

struct StarterCase {
  const char* name;
  uint8_t starterVersion;
  uint8_t starterLanguage;
  std::function<void(RunRig&)> arrange;
  bool unattended;
  std::deque<bool> answers;
  Lines log;  // up to "Program in panel:"; the rest of the run is the ordinary one
  Lines boxes;
  Outcome outcome;
  bool starterReplaced;
};

void NoArrange(RunRig&) {}

// Version digits "30" in the Starter while it identifies as 3.1, with a right checksum.
void DigitsSay30(RunRig& rig) {
  auto& flash = rig.panel.Flash();
  flash[sim::kStarterDigitsAt + 1] = '0';
  const uint32_t sum = sim::ComputeStarterChecksum(flash);
  for (uint32_t i = 0; i < 4; ++i)
    flash[sim::kStarterChecksumAt + i] = static_cast<uint8_t>(sum >> (8 * i));
}

const Lines kFirstIdentification31 = {L("File checking:", kOk), L("Connecting:", kOk),
                                      L("FLASH type:", "AMD Am29F040"),
                                      L("Starter version:", "3.1 eng 12 MHz")};
const Lines kNewStarter = {L("Starter updater loading:", kOk), L("FLASH type:", "AMD Am29F040"),
                           L("Starter version:", "3.1 eng 12 MHz"), L("Starter checking:", kOk),
                           L("Program in panel:", "???")};

// clang-format off
const StarterCase kStarterCases[] = {
    {"GoodStarterPasses", 0x31, 1, NoArrange, false, {},
     Join({kFirstIdentification31,
           {L("Starter checking:", kOk), L("Program in panel:", "???")}}),
     {"Continue ?", "Updating ok."}, Outcome::Updated, false},
    // After the update the run programs without asking "Continue ?".
    {"OldStarterIsUpdatedAndTheRunGoesOn", 0x30, 1, NoArrange, false, {},
     Join({{L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", "AMD Am29F040"),
            L("Starter version:", "3.0 eng 12 MHz"), L("Starter checking:", "100%")},
           kNewStarter}),
     {kUpdateQuestion, kSupplyQuestion, kOutputsQuestion, "Updating ok."}, Outcome::Updated,
     true},
    {"PolishStarterWithAGoodSumIsOffered", 0x31, 0, NoArrange, true, {},
     Join({{L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", "AMD Am29F040"),
            L("Starter version:", "3.1 pol 12 MHz"), L("Starter checking:", "100%")},
           kNewStarter}),
     {}, Outcome::Updated, true},
    {"DeclinedUpdateGoesOnWithTheOldStarter", 0x31, 0, NoArrange, false, {false},
     {L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", "AMD Am29F040"),
      L("Starter version:", "3.1 pol 12 MHz"), L("Starter checking:", "100%"),
      L("Program in panel:", "???")},
     {kUpdateQuestion, "Continue ?", "Updating ok."}, Outcome::Updated, false},
    {"VersionDigitsThatDisagreeMakeItBad", 0x31, 1, DigitsSay30, true, {},
     Join({kFirstIdentification31, {L("Starter checking:", "100%")}, kNewStarter}), {},
     Outcome::Updated, true},
    // The new Starter fails its check as well: no second update, the run ends.
    {"StillBadAfterItsUpdateEndsTheRun", 0x30, 1,
     [](RunRig& rig) {
       rig.hooks.At("Starter checking:", 0, [&rig] { rig.panel.Flash()[0x70123] ^= 0x10; }, 2);
     },
     true, {},
     {L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", "AMD Am29F040"),
      L("Starter version:", "3.0 eng 12 MHz"), L("Starter checking:", "100%"),
      L("Starter updater loading:", kOk), L("FLASH type:", "AMD Am29F040"),
      L("Starter version:", "3.1 eng 12 MHz"), L("Starter checking:", kBlad)},
     {}, Outcome::PanelRefused, true},
};
// clang-format on

class StarterChecks : public ::testing::TestWithParam<StarterCase> {};

TEST_P(StarterChecks, DecideWhetherTheStarterIsReplaced) {
  const StarterCase& c = GetParam();
  sim::PanelConfig config;
  config.starterVersion = c.starterVersion;
  config.starterLanguage = c.starterLanguage;
  RunRig rig(config);
  const Bytes half = rig.UseProgramFile("1.04.02", 1);
  c.arrange(rig);
  const Bytes starterBefore = rig.Flash(0x70000, 0x10000);
  rig.ui.answers = c.answers;

  EXPECT_EQ(rig.core.Program(c.unattended), c.outcome);
  const Lines lines = rig.Lines();
  ASSERT_GE(lines.size(), c.log.size());
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + static_cast<long>(c.log.size())), c.log);
  EXPECT_EQ(rig.ui.BoxTexts(), c.boxes);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L("Starter updater loading:", kOk)),
            c.starterReplaced ? 1 : 0);
  if (c.outcome == Outcome::Updated) {
    EXPECT_TRUE(rig.Flash(0, 0x60000) == half);
    EXPECT_EQ(rig.Flash(0x70000, 0x10000) == starterBefore, !c.starterReplaced);
    EXPECT_TRUE(rig.panel.StarterChecksumGood());
  }
}

INSTANTIATE_TEST_SUITE_P(Run, StarterChecks, ::testing::ValuesIn(kStarterCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
