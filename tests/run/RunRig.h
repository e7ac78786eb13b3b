// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The core on an in-process simulated panel, on the fake clock, with what the run tests
// need on top: firmware files packed in memory, a gate on the line that can swallow the
// first requests, hooks that act when a given status line is open, and the log read back.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "firmware/Packer.h"
#include "frontend/Texts.h"
#include "run/Subsystems.h"
#include "sim/InProcessLine.h"
#include "sim/SimulatedPanel.h"
#include "support/ForwardingBackend.h"
#include "support/PanelRig.h"
#include "support/ScriptedFrontEnd.h"

namespace tavrino {
// Failures name the outcome, not its bytes.
inline void PrintTo(Outcome outcome, std::ostream* os) {
  *os << OutcomeName(outcome);
}
}  // namespace tavrino

namespace tavrino::test {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

inline Lines Join(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Passes everything through to the in-process line, but swallows the first `swallow`
// writes, so that a test can count the tool's attempts against a panel that hears none.
class LineGate : public ForwardingBackend {
 public:
  explicit LineGate(SerialBackend& inner) : ForwardingBackend(inner) {}

  uint32_t swallow = 0;
  uint32_t writes = 0;

  SerialError Write(const uint8_t* buf, size_t n) override {
    return ++writes <= swallow ? SerialError::None : inner_.Write(buf, n);
  }
};

// Acts when a status line with the given label is open (the newest line of the log) and
// the panel has answered `afterAnswers` more frames since: the moment between two
// exchanges, where a Stop from a signal or a fault on the panel can come.
class LineHooks : public FrameTrace {
 public:
  explicit LineHooks(const StatusLog& log) : log_(log) {}

  // occurrence: the n-th line with that label (1 = the first).
  void At(const std::string& label, uint32_t afterAnswers, std::function<void()> action,
          int occurrence = 1) {
    hooks_.push_back({label, afterAnswers, std::move(action), occurrence});
  }
  void RequestSent(const uint8_t*, uint16_t, const uint8_t*, uint16_t) override { Look(false); }
  void AnswerReceived(const uint8_t*, uint16_t, bool) override { Look(true); }

 private:
  struct Hook {
    std::string label;
    uint32_t afterAnswers;
    std::function<void()> action;
    int occurrence;
    int opened = 0;
    size_t lastLine = SIZE_MAX;
    uint32_t seen = 0;
    bool armed = false;
    bool done = false;
  };
  void Look(bool answer) {
    const auto& history = log_.History();
    if (history.empty()) return;
    const std::string& current = history.back();
    for (auto& h : hooks_) {
      if (h.done) continue;
      const bool open = current.rfind(h.label, 0) == 0 &&
                        (current.size() == h.label.size() || current[h.label.size()] == ' ');
      if (open && history.size() != h.lastLine) {
        h.lastLine = history.size();
        ++h.opened;
      }
      if (!h.armed && !(open && h.opened == h.occurrence)) continue;
      h.armed = true;
      if (answer && h.seen < h.afterAnswers) ++h.seen;
      if (h.seen == h.afterAnswers) {
        h.done = true;
        h.action();
      }
    }
  }
  const StatusLog& log_;
  std::vector<Hook> hooks_;
};

struct RunRig {
  explicit RunRig(const sim::PanelConfig& config = {}, uint32_t clockStart = 1000)
      : clock(clockStart),
        time(clock),
        panel(config),
        line(panel, time),
        gate(line),
        log(59, 11),
        core(gate, clock, ui, log),
        hooks(log),
        stateDir(FreshStateForThisTest()) {
    core.link.SetTrace(&hooks);
    // Never the machine's own images: the test images, allowed as in every test.
    core.starterUpdate.UpdatersFolder = updaters.Path();
    core.starterUpdate.AllowTestImages = true;
  }
  ~RunRig() {
    std::error_code ignored;
    if (!filePath.empty()) std::filesystem::remove(filePath, ignored);
  }

  // Packs the halves into a .17 file in the test's temp folder and names it for the run.
  void UseFile(const std::vector<Bytes>& halves) {
    Bytes bytes;
    std::string error;
    ASSERT_TRUE(PackFirmware(halves, nullptr, bytes, error)) << error;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    if (!filePath.empty()) std::filesystem::remove(filePath);
    // Each rig its own file: a test may hold two rigs, and another build's test program may
    // run the same test at the same time.
    const std::string unique = std::to_string(std::random_device{}());
    const auto path = std::filesystem::path(::testing::TempDir()) / (name + "_" + unique + ".17");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    core.file.FirmwareFileName = path.string();
    filePath = path;
  }
  // A one-half file with a synthetic program; returns the program half.
  Bytes UseProgramFile(const std::string& version, uint8_t language) {
    Bytes half = sim::SimulatedPanel::SyntheticProgram(version, language);
    UseFile({half});
    return half;
  }

  // The log as plain lines, trailing blanks removed.
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const auto& l : log.History()) out.push_back(StatusLog::Trimmed(l));
    return out;
  }
  // The closing note of a run cut short after it changed the panel: what it left, and that
  // the same command finishes the work. Empty when the run has none.
  test::Lines CutShortNote() const {
    const auto lines = Lines();
    if (lines.size() >= 2 && lines.back() == "The same command finishes the work.")
      return {lines.end() - 2, lines.end()};
    return {};
  }
  // The lines of the run's steps, without that note.
  test::Lines StepLines() const {
    auto lines = Lines();
    lines.resize(lines.size() - CutShortNote().size());
    return lines;
  }
  // The line that begins with label (the last one, if several).
  std::string LineOf(const std::string& label) const {
    std::string found;
    for (const auto& l : Lines())
      if (l.rfind(label, 0) == 0) found = l;
    return found;
  }
  // Program area, BootCopy and sector 6 of the panel's flash.
  Bytes Flash(uint32_t from, uint32_t count) {
    return Bytes(panel.Flash().begin() + from, panel.Flash().begin() + from + count);
  }
  // Keypad texts of the run that show progress or errors (the clears and banner left out).
  std::vector<std::string> KeypadLowerTexts() const {
    std::vector<std::string> out;
    for (const auto& t : panel.KeypadHistory())
      if (t.rfind("lower:", 0) == 0) out.push_back(t.substr(6));
    return out;
  }

  TestUpdaterFolder updaters;
  FakeClock clock;
  FakeTime time;
  sim::SimulatedPanel panel;
  sim::InProcessLine line;
  LineGate gate;
  ScriptedFrontEnd ui;
  StatusLog log;
  Subsystems core;
  LineHooks hooks;
  std::filesystem::path filePath;  // the packed file of UseFile, removed with the rig
  // Where the run keeps its recovery records and settings backups (recovery/, backups/).
  std::filesystem::path stateDir;
};

// A log line as the 59-column status display shows it, trailing blanks removed: the label,
// and the status right-aligned at the end of the line (at least 4 columns).
inline std::string L(const std::string& label, const std::string& status = "") {
  constexpr size_t kColumns = 59;
  if (status.empty()) return label;
  std::string s = status.size() < 4 ? std::string(4 - status.size(), ' ') + status : status;
  std::string line = label;
  line.resize(kColumns, ' ');
  return StatusLog::Trimmed(line.substr(0, kColumns - s.size()) + s);
}

inline const std::string kOk = texts::kOk;
inline const std::string kBlad = texts::kBlad;
inline const std::string kNoConn = texts::kNoConnection;

}  // namespace tavrino::test
