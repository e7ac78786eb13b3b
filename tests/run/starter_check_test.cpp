// SPDX-License-Identifier: GPL-2.0-or-later
// The Starter check inside the identification: a good Starter passes, a bad or foreign one
// is offered an update, the run goes on with the new Starter, and a run never updates twice.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <ostream>

#include "firmware/Sha256.h"
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
            L("Starter version:", "3.0 eng 12 MHz"), L("Starter checking:", "replacing")},
           kNewStarter}),
     {kUpdateQuestion, kSupplyQuestion, kOutputsQuestion, "Updating ok."}, Outcome::Updated,
     true},
    {"PolishStarterWithAGoodSumIsOffered", 0x31, 0, NoArrange, true, {},
     Join({{L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", "AMD Am29F040"),
            L("Starter version:", "3.1 pol 12 MHz"), L("Starter checking:", "replacing")},
           kNewStarter}),
     {}, Outcome::Updated, true},
    {"DeclinedUpdateGoesOnWithTheOldStarter", 0x31, 0, NoArrange, false, {false},
     {L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", "AMD Am29F040"),
      L("Starter version:", "3.1 pol 12 MHz"), L("Starter checking:", "declined"),
      L("Program in panel:", "???")},
     {kUpdateQuestion, "Continue ?", "Updating ok."}, Outcome::Updated, false},
    // No at the second question: the updater is written, the Starter stays; the loading
    // line says so, not a bare 100%.
    {"DeclinedOnceTheUpdaterIsWritten", 0x30, 1, NoArrange, false, {true, false},
     {L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", "AMD Am29F040"),
      L("Starter version:", "3.0 eng 12 MHz"), L("Starter checking:", "replacing"),
      L("Starter updater loading:", "declined"), L("Program in panel:", "???")},
     {kUpdateQuestion, kSupplyQuestion, "Continue ?", "Updating ok."}, Outcome::Updated, false},
    {"VersionDigitsThatDisagreeMakeItBad", 0x31, 1, DigitsSay30, true, {},
     Join({kFirstIdentification31, {L("Starter checking:", "replacing")}, kNewStarter}), {},
     Outcome::Updated, true},
    // The new Starter fails its check as well: no second update, the run ends.
    {"StillBadAfterItsUpdateEndsTheRun", 0x30, 1,
     [](RunRig& rig) {
       rig.hooks.At("Starter checking:", 0, [&rig] { rig.panel.Flash()[0x70123] ^= 0x10; }, 2);
     },
     true, {},
     {L("File checking:", kOk), L("Connecting:", kOk), L("FLASH type:", "AMD Am29F040"),
      L("Starter version:", "3.0 eng 12 MHz"), L("Starter checking:", "replacing"),
      L("Starter updater loading:", kOk), L("FLASH type:", "AMD Am29F040"),
      L("Starter version:", "3.1 eng 12 MHz"), L("Starter checking:", kBlad)},
     {}, Outcome::PanelRefused, true},
};
// clang-format on

// The case's name in test names and failures, never its bytes.
void PrintTo(const StarterCase& c, std::ostream* os) {
  *os << c.name;
}

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

// The updater image for the panel's chip (an AMD Am29F040, "AM29F040B.bin") as the folder
// holds it.
struct ImageCase {
  const char* name;
  std::function<void(RunRig&)> arrange;
  // The line after "Starter checking:", within the log's 59 columns (empty: updated), and
  // the same in full; {dir} is the folder.
  std::string line;
  std::string inFull;
};

const std::string kImage = "AM29F040B.bin";
// A folder name that leaves no room on the line, whatever the temporary folder is.
const std::string kLongName = "the-folder-where-the-panel-makers-updater-images-go";

void Replace(RunRig& rig, Bytes bytes) {
  rig.updaters.Write(kImage, bytes);
}
Bytes Image(uint8_t flashType = 2) {
  return TestUpdaterImage(flashType);
}
std::string Sums(const Bytes& image) {
  return Sha256::Hex(Sha256::Of(image)) + "  " + kImage + "\n";
}
std::string Refused(const std::string& reason) {
  return "Updater " + kImage + " refused: " + reason;
}
std::string RefusedInFull(const std::string& reason) {
  return "Updater {dir}/" + kImage + " refused: " + reason;
}

// clang-format off
const ImageCase kImageCases[] = {
    // A folder that fits the line is named on it; a longer one (the test's temporary
    // folder) only in full, never cut.
    {"NoFolderNamedInFull", [](RunRig& r) { r.core.starterUpdate.UpdatersFolder = "none"; },
     "No updater AM29F040B.bin in none", "No updater AM29F040B.bin in none"},
    {"NoFolderTooLongForTheLine",
     [](RunRig& r) { r.core.starterUpdate.UpdatersFolder = r.updaters.Path() / kLongName; },
     "No updater AM29F040B.bin in the updaters folder",
     "No updater AM29F040B.bin in {dir}/" + kLongName},
    {"NoFileForTheChip",
     [](RunRig& r) {
       std::filesystem::create_directory(r.updaters.Path() / kLongName);
       r.core.starterUpdate.UpdatersFolder = r.updaters.Path() / kLongName;
     },
     "No updater AM29F040B.bin in the updaters folder",
     "No updater AM29F040B.bin in {dir}/" + kLongName},
    {"OneByteShort", [](RunRig& r) { Bytes b = Image(); b.pop_back(); Replace(r, b); },
     Refused("8447 bytes, not 8448"), RefusedInFull("8447 bytes, not 8448")},
    {"TailNotErased", [](RunRig& r) { Bytes b = Image(); b.back() = 0; Replace(r, b); },
     Refused("not 0xFF after its code"), RefusedInFull("not 0xFF after its code")},
    {"ImageForAnotherChip", [](RunRig& r) { Replace(r, Image(5)); },
     Refused("not for the AM29F040B"), RefusedInFull("not for the AM29F040B")},
    {"TestImageWithoutTheVariable", [](RunRig& r) { r.core.starterUpdate.AllowTestImages = false; },
     Refused("test image, not for panels"), RefusedInFull("test image, not for panels")},
    {"SumsMismatch", [](RunRig& r) { r.updaters.Write("SHA256SUMS", Sums(Image(5))); },
     Refused("SHA-256 not as in SHA256SUMS"), RefusedInFull("SHA-256 not as in SHA256SUMS")},
    // The system's reason goes on the line without the path it names; in full, with it.
    {"ImageIsAFolder",
     [](RunRig& r) {
       std::filesystem::remove(r.updaters.Path() / kImage);
       std::filesystem::create_directory(r.updaters.Path() / kImage);
     },
     Refused("not a regular file"),
     RefusedInFull("cannot read {dir}/" + kImage + ": not a regular file")},
    {"SumsIsAFolder",
     [](RunRig& r) { std::filesystem::create_directory(r.updaters.Path() / "SHA256SUMS"); },
     Refused("SHA256SUMS unreadable"),
     RefusedInFull("cannot read {dir}/SHA256SUMS: not a regular file")},
    {"SumsMatch", [](RunRig& r) { r.updaters.Write("SHA256SUMS", Sums(Image())); }, "", ""},
};
// clang-format on

// The case's name in test names and failures, never its bytes.
void PrintTo(const ImageCase& c, std::ostream* os) {
  *os << c.name;
}

class UpdaterImages : public ::testing::TestWithParam<ImageCase> {};

TEST_P(UpdaterImages, WithoutAUsableImageTheRunGoesOnWithTheOldStarterAndSaysWhy) {
  const ImageCase& c = GetParam();
  sim::PanelConfig config;
  config.starterVersion = 0x30;
  RunRig rig(config);
  rig.UseProgramFile("1.04.02", 1);
  c.arrange(rig);
  const Bytes updaterArea = rig.Flash(0, 0x2100);
  const Bytes starter = rig.Flash(0x70000, 0x10000);
  // Yes to the update's three questions; without an image it asks none, and the first
  // question is "Continue ?": No, so that the flash stays as the Starter check left it.
  if (c.line.empty()) rig.ui.answers = {true, true, true};
  rig.ui.defaultAnswer = false;

  const Outcome outcome = rig.core.Program(false);
  const Lines lines = rig.Lines();
  ASSERT_GE(lines.size(), 7u);
  if (c.line.empty()) {
    EXPECT_EQ(lines[4], L("Starter checking:", "replacing"));
    EXPECT_EQ(lines[5], L("Starter updater loading:", kOk));
    EXPECT_EQ(outcome, Outcome::Updated);
    EXPECT_FALSE(rig.Flash(0x70000, 0x10000) == starter);
    EXPECT_TRUE(rig.panel.StarterChecksumGood());
    return;
  }
  // The folder and what follows it, joined as this system joins paths.
  const auto withDir = [&rig](std::string text) {
    const std::string separator(1, static_cast<char>(std::filesystem::path::preferred_separator));
    for (size_t dir = text.find("{dir}/"); dir != std::string::npos; dir = text.find("{dir}/"))
      text.replace(dir, 6, rig.updaters.Path().string() + separator);
    return text;
  };
  EXPECT_EQ(lines[4], L("Starter checking:", "no updater"));
  ASSERT_LE(c.line.size(), 59u);
  EXPECT_EQ(lines[5], c.line);
  EXPECT_EQ(rig.ui.inFull, std::vector<std::string>{withDir(c.inFull)});
  EXPECT_EQ(lines[6], L("Program in panel:", "???"));
  ASSERT_EQ(rig.ui.boxes.size(), 2u);
  EXPECT_TRUE(rig.ui.boxes[0].infoOnly);
  EXPECT_NE(rig.ui.boxes[0].text.find(kImage), std::string::npos) << rig.ui.boxes[0].text;
  EXPECT_NE(rig.ui.boxes[0].text.find("AMD Am29F040"), std::string::npos)
      << "the box names the chip as the log does: " << rig.ui.boxes[0].text;
  EXPECT_EQ(rig.ui.boxes[1].text, "Continue ?");
  EXPECT_EQ(outcome, Outcome::Declined);
  EXPECT_EQ(rig.panel.CommandCount(0x66) + rig.panel.CommandCount(0x65), 0u);
  EXPECT_TRUE(rig.Flash(0, 0x2100) == updaterArea);
  EXPECT_TRUE(rig.Flash(0x70000, 0x10000) == starter);
}

INSTANTIATE_TEST_SUITE_P(Run, UpdaterImages, ::testing::ValuesIn(kImageCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
