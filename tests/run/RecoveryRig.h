// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the recovery tests share: the updates they cut short, the places they cut them, the
// panel's contents read back, and uninterrupted twin runs made on "another computer" (a
// state folder of their own), so that a twin never meets the records of the run under test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/TestFolders.h"
#include "tests/run/RunRig.h"

namespace tavrino::test {

namespace recovery {

namespace fs = std::filesystem;

inline constexpr uint32_t kVersionRecordAt = 0x12000;
inline constexpr uint8_t kEraseCommand = 0x66;
inline constexpr uint8_t kWritePageCommand = 0x65;
inline constexpr uint8_t kWriteMemory1Command = 0x81;
inline constexpr uint8_t kWriteMemory2Command = 0x82;

struct Update {
  const char* name;
  uint8_t flashType;
  const char* panel;
  const char* file;
  int format;  // the panel's settings format
  bool Converts() const {
    return std::string(panel).substr(0, 4) != std::string(file).substr(0, 4);
  }
};
inline const Update k103To104{"103to104", 2, "1.03.05", "1.04.02", 103};
inline const Update k104To103{"104to103", 6, "1.04.02", "1.03.05", 104};
inline const Update kSame104OnAnSt{"Same104OnAnSt", 5, "1.04.01", "1.04.02", 104};

// Where the line is cut: the phase's line and the answers it has had. The programming cuts
// are made on either side of the block that holds the version record.
struct Cut {
  const char* name;
  const char* label;
  uint32_t afterAnswers;
  bool conversionOnly = false;  // only an update that converts has this phase
};
inline const Cut kReadingTheSettings{"MidReadingTheSettings", "Reading settings:", 60, true};
inline const Cut kProgrammingBefore{"ProgrammingBeforeTheVersionRecord", "FLASH programing:", 40};
// Its answers are worked out from the file's program: see AnswersThroughVersionRecord.
inline const Cut kProgrammingAfter{"ProgrammingAfterTheVersionRecord", "FLASH programing:", 0};
inline const Cut kAfterSector6Erasure{"AfterTheSector6Erasure", "Data recovering:", 194};
inline const Cut kMidSector6WriteBack{"MidSector6WriteBack", "Data recovering:", 300};
inline const Cut kMidWritingMemory1{"MidWritingMemory1", "Data conversion:", 60, true};
inline const Cut kMidWritingMemory2{"MidWritingMemory2", "Data conversion:", 160, true};
inline const Cut kMidVerification{"MidVerification", "Verification:", 300};
// The run's first erase is refused: it ends with its record written and nothing changed.
inline const Cut kFirstEraseRefused{"FirstEraseRefused", "", 0};
// A Starter update (of a panel with Starter 3.0) cut while the updater is being written.
inline const Cut kMidUpdaterWrite{"MidUpdaterWrite", "Starter updater loading:", 12};
inline constexpr uint8_t kOldStarter = 0x30;

// The panel as the technician finds it; its sector 6 copies differ from its memories, so
// that settings taken from the wrong place show.
// starterVersion: a Starter of that version (English) in place of the configured one.
inline void Prepare(RunRig& rig, const Update& u, uint8_t starterVersion = 0) {
  rig.panel.Config().flashType = u.flashType;
  if (starterVersion != 0) rig.panel.InstallStarter(starterVersion, 1);
  rig.panel.SynthesizeProgram(u.panel, 0);
  rig.panel.FillSettings(u.format);
  auto& flash = rig.panel.Flash();
  for (uint32_t i = 0x64000; i < 0x70000; ++i) flash[i] ^= static_cast<uint8_t>(i * 13 + 7);
}

// Programming answers until the block of the version record has been written.
inline uint32_t AnswersThroughVersionRecord(const Bytes& half) {
  uint32_t answers = 0;
  for (uint32_t a = 0; a <= kVersionRecordAt; a += 256)
    if (std::any_of(half.begin() + a, half.begin() + a + 256, [](uint8_t b) { return b != 0xFF; }))
      ++answers;
  return answers + 1;
}

struct PanelBytes {
  Bytes flash, memory1, memory2;
  uint8_t starterVersion = 0x31;
  bool operator==(const PanelBytes&) const = default;
};
inline PanelBytes Contents(RunRig& rig) {
  return {rig.panel.Flash(), rig.panel.Memory1(), rig.panel.Memory2(),
          rig.panel.Config().starterVersion};
}
inline void Put(RunRig& rig, const PanelBytes& b) {
  rig.panel.Flash() = b.flash;
  rig.panel.Memory1() = b.memory1;
  rig.panel.Memory2() = b.memory2;
  rig.panel.Config().starterVersion = b.starterVersion;
}

// The requests of a run that change the panel, by kind.
struct Sent {
  uint32_t erases = 0, pageWrites = 0, memory1Writes = 0, memory2Writes = 0;
  bool operator==(const Sent&) const = default;
};
inline Sent SentSoFar(const RunRig& rig) {
  return {rig.panel.CommandCount(kEraseCommand), rig.panel.CommandCount(kWritePageCommand),
          rig.panel.CommandCount(kWriteMemory1Command),
          rig.panel.CommandCount(kWriteMemory2Command)};
}
inline Sent operator-(const Sent& a, const Sent& b) {
  return {a.erases - b.erases, a.pageWrites - b.pageWrites, a.memory1Writes - b.memory1Writes,
          a.memory2Writes - b.memory2Writes};
}
inline void PrintTo(const Sent& s, std::ostream* os) {
  *os << "{erases " << s.erases << ", page writes " << s.pageWrites << ", memory 1 writes "
      << s.memory1Writes << ", memory 2 writes " << s.memory2Writes << "}";
}

inline size_t Files(const fs::path& dir) {
  std::error_code e;
  if (!fs::is_directory(dir, e)) return 0;
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Every file of a folder with its bytes: what a run must leave exactly as it found.
inline std::map<std::string, Bytes> FolderBytes(const fs::path& dir) {
  std::map<std::string, Bytes> out;
  std::error_code e;
  if (!fs::is_directory(dir, e)) return out;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    out[entry.path().filename().string()] =
        Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return out;
}

// The line goes silent from here on: the cable pulled, the panel's supply gone.
inline void CutTheLine(RunRig& rig) {
  rig.panel.FaultSettings().silentAfterFrames = rig.panel.RequestCount();
}
inline void PowerCycle(RunRig& rig) {
  rig.panel.FaultSettings() = {};
  rig.panel.PowerOn();
}

// While it stands, runs keep their records in a state folder of their own: another
// computer, which knows nothing of this one's records.
class OtherComputer {
 public:
  OtherComputer() : dir_(MakeTempFolder("tavrino-other-computer")) {
    const char* saved = std::getenv("XDG_STATE_HOME");
    saved_ = saved ? saved : "";
    SetEnv("XDG_STATE_HOME", dir_.string());
  }
  ~OtherComputer() {
    SetEnv("XDG_STATE_HOME", saved_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  OtherComputer(const OtherComputer&) = delete;
  OtherComputer& operator=(const OtherComputer&) = delete;

 private:
  fs::path dir_;
  std::string saved_;
};

struct TwinRun {
  Outcome outcome = Outcome::InternalError;
  PanelBytes after;
  Sent sent;
};

// One unattended Program run of the file on a panel holding `panel`, on another computer.
inline TwinRun RunElsewhere(const Update& u, const PanelBytes& panel, const char* fileVersion) {
  OtherComputer elsewhere;
  RunRig twin;
  twin.panel.Config().flashType = u.flashType;
  Put(twin, panel);
  twin.UseProgramFile(fileVersion, 1);
  TwinRun run;
  run.outcome = twin.core.Program(true);
  run.after = Contents(twin);
  run.sent = SentSoFar(twin);
  return run;
}

// Cuts one run of the file on the rig's panel where `cut` says, then switches the panel
// off and on; an attended run answers Yes to every question. Returns whether the cut was
// made.
inline bool CutRun(RunRig& rig, const Cut& cut, const char* fileVersion, bool attended = false) {
  const Bytes half = rig.UseProgramFile(fileVersion, 1);
  // Shared with the hook, which outlives this call when the cut never comes.
  const auto cutMade = std::make_shared<bool>(false);
  if (std::string(cut.name) == kFirstEraseRefused.name) {
    rig.panel.FaultSettings().refuseCommands = {kEraseCommand};
    EXPECT_EQ(rig.core.Program(!attended), Outcome::PanelRefused);
    *cutMade = rig.LineOf("FLASH erasing:") == L("FLASH erasing:", kBlad);
  } else {
    uint32_t after = cut.afterAnswers;
    if (std::string(cut.name) == kProgrammingAfter.name)
      after = AnswersThroughVersionRecord(half) + 5;
    rig.hooks.At(cut.label, after, [&rig, cutMade] {
      CutTheLine(rig);
      *cutMade = true;
    });
    EXPECT_NE(rig.core.Program(!attended), Outcome::Updated);
  }
  PowerCycle(rig);
  return *cutMade;
}

}  // namespace recovery

}  // namespace tavrino::test
