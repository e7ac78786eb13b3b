// An update cut short at any point is finished by the next run of the same command: the line
// is cut there, the panel is switched off and on again, the run is repeated, and the panel
// must end byte for byte as an uninterrupted run leaves it. A record of another panel, or
// a damaged one, is never applied; a change whose record cannot be kept is not made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "state/RecordStore.h"
#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kVersionRecordAt = 0x12000;
constexpr uint8_t kEraseCommand = 0x66;

struct Update {
  const char* name;
  uint8_t flashType;
  const char* panel;
  const char* file;
  int format;  // the panel's settings format
};
const Update kUpdates[] = {
    {"103to104", 2, "1.03.05", "1.04.02", 103},
    {"104to103", 6, "1.04.02", "1.03.05", 104},
    {"Same104OnAnSt", 5, "1.04.01", "1.04.02", 104},
};

// Where the line is cut: the phase's line and the answers it has had. The programming
// cuts are made on either side of the block that holds the version record.
struct Cut {
  const char* name;
  const char* label;
  uint32_t afterAnswers;
  bool conversionOnly;
};
const Cut kCuts[] = {
    {"ProgrammingBeforeTheVersionRecord", "FLASH programing:", 40, false},
    {"ProgrammingAfterTheVersionRecord", "FLASH programing:", 0, false},  // see Panel()
    {"AfterTheSector6Erasure", "Data recovering:", 194, false},
    {"MidSector6WriteBack", "Data recovering:", 300, false},
    {"MidReadingMemory1", "Data conversion:", 60, true},
    {"MidReadingMemory2", "Data conversion:", 160, true},
    {"MidWritingMemory1", "Data conversion:", 250, true},
    {"MidWritingMemory2", "Data conversion:", 350, true},
    {"MidVerification", "Verification:", 300, false},
};

// The panel as the technician finds it; its sector 6 copies differ from its memories, so
// that settings taken from the wrong place show.
void Prepare(RunRig& rig, const Update& u) {
  rig.panel.Config().flashType = u.flashType;
  rig.panel.SynthesizeProgram(u.panel, 0);
  rig.panel.FillSettings(u.format);
  auto& flash = rig.panel.Flash();
  for (uint32_t i = 0x64000; i < 0x70000; ++i) flash[i] ^= static_cast<uint8_t>(i * 13 + 7);
}

// Programming answers until the block of the version record has been written.
uint32_t AnswersThroughVersionRecord(const Bytes& half) {
  uint32_t answers = 0;
  for (uint32_t a = 0; a <= kVersionRecordAt; a += 256)
    if (std::any_of(half.begin() + a, half.begin() + a + 256, [](uint8_t b) { return b != 0xFF; }))
      ++answers;
  return answers + 1;
}

struct PanelBytes {
  Bytes flash, memory1, memory2;
  bool operator==(const PanelBytes&) const = default;
};
PanelBytes Contents(RunRig& rig) {
  return {rig.panel.Flash(), rig.panel.Memory1(), rig.panel.Memory2()};
}

PanelBytes Uninterrupted(const Update& u) {
  RunRig twin;
  Prepare(twin, u);
  twin.UseProgramFile(u.file, 1);
  EXPECT_EQ(twin.core.Program(true), Outcome::Updated);
  return Contents(twin);
}

size_t Files(const fs::path& dir) {
  std::error_code e;
  if (!fs::is_directory(dir, e)) return 0;
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// The line goes silent from here on: the cable pulled, the panel's supply gone.
void CutTheLine(RunRig& rig) {
  rig.panel.FaultSettings().silentAfterFrames = rig.panel.RequestCount();
}
void PowerCycle(RunRig& rig) {
  rig.panel.FaultSettings() = {};
  rig.panel.PowerOn();
}

using CutCase = std::tuple<Update, Cut>;
void PrintTo(const Update& u, std::ostream* os) {
  *os << u.name;
}
void PrintTo(const Cut& c, std::ostream* os) {
  *os << c.name;
}

class CutShort : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutShort, TheNextRunFinishesTheUpdateExactly) {
  const auto& [u, cut] = GetParam();
  const bool converting = std::string(u.panel).substr(0, 4) != std::string(u.file).substr(0, 4);
  if (cut.conversionOnly && !converting) GTEST_SKIP() << "no conversion in this update";
  const PanelBytes want = Uninterrupted(u);

  RunRig rig;
  Prepare(rig, u);
  const Bytes half = rig.UseProgramFile(u.file, 1);
  const size_t backupsBefore = Files(rig.stateDir / "backups");  // the twin's
  uint32_t after = cut.afterAnswers;
  if (std::string(cut.name) == "ProgrammingAfterTheVersionRecord")
    after = AnswersThroughVersionRecord(half) + 5;
  bool cutMade = false;
  rig.hooks.At(cut.label, after, [&] {
    CutTheLine(rig);
    cutMade = true;
  });
  EXPECT_EQ(rig.core.Program(true), Outcome::NoConnection);
  ASSERT_TRUE(cutMade);
  EXPECT_EQ(rig.CutShortNote().size(), 2u) << "the run says what it left";
  if (std::string(cut.name) == "ProgrammingBeforeTheVersionRecord")
    ASSERT_EQ(rig.Flash(kVersionRecordAt, 5), Bytes(5, 0xFF)) << "cut while the record is erased";
  if (std::string(cut.name) == "ProgrammingAfterTheVersionRecord") {
    const Bytes chars = {uint8_t(u.file[0]), uint8_t(u.file[2]), uint8_t(u.file[3]),
                         uint8_t(u.file[5]), uint8_t(u.file[6])};
    ASSERT_EQ(rig.Flash(kVersionRecordAt, 5), chars) << "cut once the record is the new one";
  }
  ASSERT_EQ(Files(rig.stateDir / "recovery"), 1u);

  PowerCycle(rig);
  EXPECT_EQ(rig.core.Program(true), Outcome::Updated);
  EXPECT_EQ(rig.LineOf("Unfinished update:").empty(), false);
  EXPECT_TRUE(Contents(rig) == want) << "the panel ends as an uninterrupted run leaves it";
  EXPECT_EQ(Files(rig.stateDir / "recovery"), 0u) << "the record is retired";
  EXPECT_EQ(Files(rig.stateDir / "backups"), backupsBefore + 1) << "kept as a settings backup";
}

INSTANTIATE_TEST_SUITE_P(
    Run, CutShort, ::testing::Combine(::testing::ValuesIn(kUpdates), ::testing::ValuesIn(kCuts)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace tavrino::test
