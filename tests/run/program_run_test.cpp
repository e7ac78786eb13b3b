// SPDX-License-Identifier: GPL-2.0-or-later
// Whole Program runs against the simulated panel: one row per situation, each naming the
// panel, the file, the answers given, and the log, boxes, outcome and flash that follow.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <set>

#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

Lines Connected(const std::string& chip = "AMD Am29F040",
                const std::string& starter = "3.1 eng 12 MHz", bool checked = true) {
  Lines l = {L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", chip),
             L("Starter version:", starter)};
  if (checked) l.push_back(L("Starter checking:", kOk));
  return l;
}

const std::string kContinue = "Continue ?";
const std::string kUpdatingOk = "Updating ok.";
const std::string kOlder = "Selected program is older than panel program.\rProgram anyway ?";
const std::string kConvert =
    "Data format in panel differs from data format in file.\r"
    "Program can automatically convert format in panel.\r\rContinue ?";
const std::string kSettingsLost =
    "Data format in panel differs from data format in file.\n"
    "PROGRAM WILL NOT CONVERT DATA FORMAT - SETTINGS WILL BE LOST !!!\n\nContinue ?";
const std::string kVersionsOnly = "Program works with  1.00.00 - 1.04.xx  versions only !";

sim::PanelConfig Chip(uint8_t type, bool board24MHz = false) {
  sim::PanelConfig c;
  c.flashType = type;
  c.board24MHz = board24MHz;
  return c;
}

struct FileHalf {
  std::string version;
  uint8_t language;
};

struct ProgramCase {
  const char* name;
  sim::PanelConfig config;
  std::optional<FileHalf> panelProgram;  // none: a blank panel
  std::vector<FileHalf> file;
  bool unattended;
  std::deque<bool> answers;
  Lines log;
  Lines boxes;
  Outcome outcome;
  // Which file half the panel's program area holds afterwards; none: it was not written.
  std::optional<size_t> writtenHalf;
  std::function<void(sim::SimulatedPanel&)> tweak = nullptr;
};

const Lines kErasedProgrammedRecovered = {L("FLASH erasing:", kOk), L("FLASH programing:", kOk),
                                          L("Data recovering:", kOk), L("Verification:", kOk),
                                          L("Restarting panel", kOk)};

// The case's name in test names and failures, never its bytes.
void PrintTo(const ProgramCase& c, std::ostream* os) {
  *os << c.name;
}

class ProgramRuns : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramRuns, EndAsTheSituationDemands) {
  const ProgramCase& c = GetParam();
  RunRig rig(c.config);
  if (c.panelProgram) {
    rig.panel.SynthesizeProgram(c.panelProgram->version, c.panelProgram->language);
    rig.panel.FillSettings(104);
  }
  if (c.tweak) c.tweak(rig.panel);
  std::vector<Bytes> halves;
  for (const auto& h : c.file)
    halves.push_back(sim::SimulatedPanel::SyntheticProgram(h.version, h.language));
  rig.UseFile(halves);
  const Bytes before = rig.Flash(0, 0x60000);
  rig.ui.answers = c.answers;

  EXPECT_EQ(rig.core.Program(c.unattended), c.outcome);
  EXPECT_EQ(rig.Lines(), c.log);
  EXPECT_EQ(rig.ui.BoxTexts(), c.boxes);
  if (c.writtenHalf) {
    EXPECT_TRUE(rig.Flash(0, 0x60000) == halves[*c.writtenHalf]) << "program area";
  } else {
    EXPECT_EQ(rig.panel.CommandCount(0x66), 0u) << "nothing erased";
    EXPECT_EQ(rig.panel.CommandCount(0x65), 0u) << "nothing written";
    EXPECT_TRUE(rig.Flash(0, 0x60000) == before);
  }
  EXPECT_FALSE(rig.gate.IsOpen()) << "the command closes the port";
}

// clang-format off
const ProgramCase kProgramCases[] = {
    {"BlankPanelProgrammedAndVerified", Chip(2), std::nullopt, {{"1.04.02", 1}}, false, {},
     Join({Connected(),
           {L("Program in panel:", "???"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "newer")},
           kErasedProgrammedRecovered}),
     {kContinue, kUpdatingOk}, Outcome::Updated, 0},
    {"SameProgramIsNeitherErasedNorWritten", Chip(2), FileHalf{"1.04.02", 1}, {{"1.04.02", 1}},
     false, {},
     Join({Connected(),
           {L("Program in panel:", "1.04.02 eng"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", kOk), L("Restarting panel", kOk)}}),
     {kUpdatingOk}, Outcome::SameProgram, std::nullopt},
    {"SameVersionWithADifferentTopBlockIsWritten", Chip(2), FileHalf{"1.04.02", 1},
     {{"1.04.02", 1}}, false, {},
     Join({Connected(),
           {L("Program in panel:", "1.04.02 eng"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "newer")},
           kErasedProgrammedRecovered}),
     {kContinue, kUpdatingOk}, Outcome::Updated, 0,
     [](sim::SimulatedPanel& p) { p.Flash()[0x5FFFD] ^= 0x5A; }},
    {"OlderFileIsWrittenAfterYes", Chip(2), FileHalf{"1.04.03", 1}, {{"1.04.02", 1}}, false, {},
     Join({Connected(),
           {L("Program in panel:", "1.04.03 eng"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "older")},
           kErasedProgrammedRecovered}),
     {kOlder, kUpdatingOk}, Outcome::Updated, 0},
    {"OlderFileDeclined", Chip(2), FileHalf{"1.04.03", 1}, {{"1.04.02", 1}}, false, {false},
     Join({Connected(),
           {L("Program in panel:", "1.04.03 eng"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "older")}}),
     {kOlder}, Outcome::Declined, std::nullopt},
    {"UnattendedWritesAnOlderFileWithoutAsking", Chip(2), FileHalf{"1.04.03", 1},
     {{"1.04.02", 1}}, true, {},
     Join({Connected(),
           {L("Program in panel:", "1.04.03 eng"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "older")},
           kErasedProgrammedRecovered}),
     {}, Outcome::Updated, 0},
    {"LanguageChangeIsNewerWithoutDataQuestion", Chip(2), FileHalf{"1.04.02", 0},
     {{"1.04.02", 1}}, false, {},
     Join({Connected(),
           {L("Program in panel:", "1.04.02 pol"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "newer")},
           kErasedProgrammedRecovered}),
     {kContinue, kUpdatingOk}, Outcome::Updated, 0},
    // The file's version is taken from the half the panel gets, not the half the previous
    // run's board chose.
    {"Board24MHzGetsTheSecondHalf", Chip(2, true), std::nullopt,
     {{"1.04.01", 1}, {"1.04.02", 1}}, false, {},
     Join({Connected("AMD Am29F040", "3.1 eng 24 MHz"),
           {L("Program in panel:", "???"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "newer")},
           kErasedProgrammedRecovered}),
     {kContinue, kUpdatingOk}, Outcome::Updated, 1},
    {"AtmelKeepsSettingsAndWritesBootCopyItself", Chip(1), FileHalf{"1.04.01", 1},
     {{"1.04.02", 1}}, false, {},
     Join({Connected("ATMEL AT29C040A"),
           {L("Program in panel:", "1.04.01 eng"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "newer"), L("FLASH erasing:", kOk),
            L("FLASH programing:", kOk), L("Verification:", kOk), L("Restarting panel", kOk)}}),
     {kContinue, kUpdatingOk}, Outcome::Updated, 0},
    {"MacronixStarterIsNotChecked", Chip(3), std::nullopt, {{"1.04.02", 1}}, false, {},
     Join({Connected("Macronix MX29F040", "3.1 eng 12 MHz", false),
           {L("Program in panel:", "???"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "newer")},
           kErasedProgrammedRecovered}),
     {kContinue, kUpdatingOk}, Outcome::Updated, 0},
    {"ConvertibleFormatQuestionDeclined", Chip(2), FileHalf{"1.03.05", 1}, {{"1.04.02", 1}},
     false, {false},
     Join({Connected(),
           {L("Program in panel:", "1.03.05 eng"), L("Program in file:", "1.04.02 eng")}}),
     {kConvert}, Outcome::Declined, std::nullopt},
    {"SettingsLostQuestionAcceptedWritesWithoutConversion", Chip(2), FileHalf{"1.00.00", 1},
     {{"1.04.02", 1}}, false, {},
     Join({Connected(),
           {L("Program in panel:", "1.00.00"), L("Program in file:", "1.04.02 eng"),
            L("Programs comparison:", "newer")},
           kErasedProgrammedRecovered}),
     {kSettingsLost, kContinue, kUpdatingOk}, Outcome::Updated, 0},
    {"PanelVersion101IsOutOfRange", Chip(2), FileHalf{"1.01.00", 1}, {{"1.04.02", 1}}, true, {},
     Join({Connected(),
           {L("Program in panel:", "1.01.00"), L("Program in file:", "1.04.02 eng")}}),
     {kVersionsOnly}, Outcome::PanelRefused, std::nullopt},
    {"FileVersion200IsOutOfRange", Chip(2), FileHalf{"1.04.02", 1}, {{"2.00.00", 1}}, false, {},
     Join({Connected(),
           {L("Program in panel:", "1.04.02 eng"), L("Program in file:", "2.00.00 eng")}}),
     {kVersionsOnly}, Outcome::PanelRefused, std::nullopt},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Run, ProgramRuns, ::testing::ValuesIn(kProgramCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramRun, ErasedBlocksAreNotSentYetVerified) {
  RunRig rig(Chip(2));
  const Bytes half = rig.UseProgramFile("1.04.02", 1);
  size_t programBlocks = 0;
  for (size_t a = 0; a < half.size(); a += 256)
    if (std::any_of(half.begin() + a, half.begin() + a + 256, [](uint8_t b) { return b != 0xFF; }))
      ++programBlocks;
  ASSERT_LT(programBlocks, 0x600u) << "the program must hold erased blocks";

  EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
  // Sector 6 goes back whole (256 blocks); of the program only blocks holding data.
  EXPECT_EQ(rig.panel.CommandCount(0x65), programBlocks + 256);
  // Every block verified, after the check values of the settings copies (0x64000 on, in
  // blocks of 512) were kept for the recovery record.
  EXPECT_EQ(rig.panel.CommandCount(0x64), 0x60000u / 512 + 0xC000u / 512) << "every block verified";
  EXPECT_EQ(rig.LineOf("Verification:"), L("Verification:", kOk));
}

TEST(ProgramRun, AtmelBootCopyHoldsTheProgramStart) {
  RunRig rig(Chip(1));
  const Bytes half = rig.UseProgramFile("1.04.02", 1);
  rig.panel.Flash()[0x60000] ^= 0xFF;  // an old copy that must be replaced
  EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
  EXPECT_TRUE(rig.Flash(0x60000, 0x4000) == Bytes(half.begin(), half.begin() + 0x4000));
}

// The percentages of the keypad texts that begin with label.
std::set<int> Percentages(const std::vector<std::string>& texts, const std::string& label) {
  std::set<int> out;
  for (const auto& t : texts)
    if (t.rfind(label, 0) == 0) out.insert(std::stoi(t.substr(label.size(), 3)));
  return out;
}

TEST(ProgramRun, KeypadFollowsTheRun) {
  struct Case {
    bool unattended;
    std::string banner;
    bool progress;
  };
  for (const Case& c : {Case{false, " ", true}, Case{true, "Express mode", false}}) {
    SCOPED_TRACE(c.unattended ? "unattended" : "interactive");
    RunRig rig(Chip(2));
    rig.UseProgramFile("1.04.02", 1);
    ASSERT_EQ(rig.core.Program(c.unattended), Outcome::Updated);

    const auto& history = rig.panel.KeypadHistory();
    ASSERT_GE(history.size(), 11u);
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(history[i], "clear");
    std::string lower = c.banner;
    lower.resize(16, ' ');
    EXPECT_EQ(history[10], "banner:Tavrino v4.06   |" + lower);

    const auto texts = rig.KeypadLowerTexts();
    auto has = [&](const std::string& t) {
      return std::find(texts.begin(), texts.end(), t) != texts.end();
    };
    EXPECT_TRUE(has("Data recovering ")) << "sent also unattended";
    for (const char* t :
         {"Erasing       0%", "Erasing      20%", "Erasing     100%", "Programming   0%",
          "Programming  48%", "Verifying     0%", "Verifying    13%"})
      EXPECT_EQ(has(t), c.progress) << t;
    if (c.progress) {
      // Programming texts come at steps of 6 %, verification texts at steps of 13 %.
      EXPECT_EQ(
          Percentages(texts, "Programming "),
          (std::set<int>{0, 6, 12, 18, 24, 30, 36, 42, 48, 54, 60, 66, 72, 78, 84, 90, 96, 100}));
      EXPECT_EQ(Percentages(texts, "Verifying   "),
                (std::set<int>{0, 13, 26, 39, 52, 65, 78, 91, 100}));
    }
  }
}

TEST(ProgramRun, VersionRecordBehindTheSignatureIsRead) {
  RunRig rig(Chip(2));
  rig.panel.SynthesizeProgram("1.03.05", 2, true);
  rig.UseProgramFile("1.03.05", 2);
  rig.ui.answers = {false};  // "Continue ?" after the block comparison
  EXPECT_EQ(rig.core.Program(false), Outcome::Declined);
  EXPECT_EQ(rig.LineOf("Program in panel:"), L("Program in panel:", "1.03.05 ukr"));
  EXPECT_EQ(rig.LineOf("Programs comparison:"), L("Programs comparison:", "newer"));
}

}  // namespace
}  // namespace tavrino::test
