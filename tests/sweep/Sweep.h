// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The crash sweep: a whole Program run against the in-process simulated panel, cut at every
// exchange (or every n-th, and around every phase boundary) and at every file operation of
// the host, each cut followed by the same command run again. The panel must end byte for
// byte as an uninterrupted run leaves it, and no record may act on a panel it was not made
// for. Each point runs alone from its name, so that a failure can be replayed by itself.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frontend/Clock.h"
#include "frontend/Outcome.h"
#include "frontend/StatusLog.h"
#include "run/Subsystems.h"
#include "sim/InProcessLine.h"
#include "sim/SimulatedPanel.h"
#include "support/ScriptedFrontEnd.h"

namespace tavrino::sweep {

using Bytes = std::vector<uint8_t>;

// What a panel holds, and what it says about itself (Starter version, chip, board).
struct PanelImage {
  sim::PanelConfig config;
  Bytes flash, memory1, memory2;
};
// "" when the contents are equal, else where they first differ and by how much.
std::string Difference(const PanelImage& got, const PanelImage& want);

// One update the sweep runs: a panel as the technician finds it and a file for it.
struct Case {
  std::string name;
  uint8_t flashType;
  uint8_t starterVersion;  // 0x30: the run replaces the Starter first
  std::string panelVersion, fileVersion;
  int format;  // the panel's settings format
};
const std::vector<Case>& Cases();
const Case* FindCase(const std::string& name);

// The panel of the case; another = a second panel of the same kind, with settings of its own.
PanelImage Prepared(const Case& c, bool another = false);

// The simulated panel on its line, with the fake clock that both sides share.
class Bench {
 public:
  explicit Bench(const PanelImage& image);
  ~Bench();
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;
  PanelImage Contents() const;
  void PowerCycle();
  sim::SimulatedPanel& Panel() { return *panel_; }
  // Changes made to the panel so far: erasures, page writes, settings writes.
  uint32_t Changes() const;

  FakeClock clock{1000};
  SerialBackend& Line();
  // Called after every write to the line, once the panel has taken what it carried.
  std::function<void()> afterWrite;

 private:
  class Time;
  class Watch;
  std::unique_ptr<sim::SimulatedPanel> panel_;
  std::unique_ptr<Time> time_;
  std::unique_ptr<sim::InProcessLine> line_;
  std::unique_ptr<Watch> watch_;
};

// One start of the tool (one process of tavrino-cli, or one window of the desktop program).
struct Session {
  Session(Bench& bench, const std::string& firmwareFile, const std::filesystem::path& updaters);
  test::ScriptedFrontEnd ui;
  StatusLog log{59, 11};
  Subsystems core;
};

// How one Program run went.
struct RunResult {
  Outcome outcome = Outcome::InternalError;
  std::vector<std::string> lines;   // the status lines, trailing blanks removed
  std::vector<std::string> labels;  // for each request the panel took, the open step's label
};

// Runs Program (unattended) with the records under stateHome; stopAt > 0: Stop is pressed
// once the panel has taken that request.
RunResult RunProgram(Bench& bench, Session& session, const std::filesystem::path& stateHome,
                     uint32_t stopAt = 0);

// The first request of each step (1-based), in order.
std::vector<uint32_t> Boundaries(const std::vector<std::string>& labels);

// The record files (and temporary files beside them) the runs left under stateHome.
struct StateFiles {
  size_t records = 0, temporaries = 0, backups = 0;
};
StateFiles CountStateFiles(const std::filesystem::path& stateHome);
// An empty folder at dir, whatever was there.
void Fresh(const std::filesystem::path& dir);
void CopyState(const std::filesystem::path& from, const std::filesystem::path& to);

// What the sweep of one case knows before it cuts anything.
struct Reference {
  const Case* c = nullptr;
  std::string file;                   // the packed firmware file
  std::filesystem::path updaters;     // the test updater images
  std::filesystem::path root;         // where each point keeps its state folders
  PanelImage before, want;            // the panel before, and after an uninterrupted run
  PanelImage otherBefore, otherWant;  // the same for another panel of the same kind
  RunResult twin;                     // the uninterrupted run
};

// One point tried, and what it found.
struct Finding {
  std::string kind;   // "cut", "stop", "cut2", "other", "elsewhere", "hostfail", "hoststop"
  std::string point;  // "1234", "1234:56"
  std::string step;   // the label of the step the cut came in
  std::string what;   // "" when all held
  bool note = false;  // true: worth saying, but no fault (what holds the note)
};

struct SweepOptions {
  uint32_t stride = 1;
  // Every N-th file operation of the host, each case from another one, so that the cases
  // (whose runs make much the same operations) cover them all between them.
  uint32_t hostStride = 1;
  bool panel = true, host = true, stale = true, twice = true;
  bool verbose = false;
};

// The panel side: cuts and Stops at the exchanges; with stale, each cut's records also
// meet another panel and the same panel updated elsewhere; with twice, some reruns are cut
// again. point: only that one point (kind and number as a Finding names them).
void SweepPanel(const Reference& ref, const SweepOptions& options,
                const std::optional<std::pair<std::string, std::string>>& only,
                std::vector<Finding>& findings);
// The host side: each file operation of the run refused, and the process stopped there.
void SweepHost(const Reference& ref, const SweepOptions& options,
               const std::optional<std::pair<std::string, std::string>>& only,
               std::vector<Finding>& findings, size_t& fileOps);

// The checks after a cut, shared by both sides: stateHome holds what the cut run left and
// cut is the panel as it left it (switched off and on). Adds the findings of the rerun and,
// with stale, of the other panel and the panel updated elsewhere.
void CheckAfterCut(const Reference& ref, const SweepOptions& options, const std::string& kind,
                   const std::string& point, const std::string& step, const PanelImage& cut,
                   const std::filesystem::path& stateHome, std::vector<Finding>& findings);

// The text for a failing run: its outcome and last status lines.
std::string Tail(const RunResult& r);
// With verbose: the run's title and status lines, for a point replayed alone.
void Show(const SweepOptions& options, const std::string& title, const RunResult& r);
// A printable label for step of request k of a run (k from 1).
std::string StepAt(const RunResult& r, uint32_t k);

}  // namespace tavrino::sweep
