// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The whole core wired to an in-process simulated panel on a fake clock: the fixture of
// the link, run and command tests. Everything is fresh per test.
#include <memory>
#include <string>
#include <vector>

#include "frontend/Clock.h"
#include "frontend/StatusLog.h"
#include "run/Subsystems.h"
#include "sim/InProcessLine.h"
#include "sim/SimulatedPanel.h"
#include "support/PrivateStateHome.h"
#include "support/ScriptedFrontEnd.h"
#include "support/TestUpdaterFolder.h"

namespace tavrino::test {

// Lets the simulator's line advance the test's fake clock.
class FakeTime : public sim::TimeSource {
 public:
  explicit FakeTime(FakeClock& clock) : clock_(clock) {}
  uint32_t NowMs() override { return clock_.NowMs(); }
  void AdvanceMs(uint32_t ms) override { clock_.Advance(ms); }

 private:
  FakeClock& clock_;
};

struct PanelRig {
  explicit PanelRig(const sim::PanelConfig& config = {}, uint32_t clockStart = 1000)
      : clock(clockStart),
        time(clock),
        panel(config),
        line(panel, time),
        log(59, 11),
        core(line, clock, ui, log) {
    // Never the machine's own images: the test images, allowed as in every test.
    core.starterUpdate.UpdatersFolder = updaters.Path();
    core.starterUpdate.AllowTestImages = true;
  }

  // The log as plain lines (trailing blanks removed), scrolled-off lines included.
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const auto& l : log.History()) out.push_back(StatusLog::Trimmed(l));
    return out;
  }

  TestUpdaterFolder updaters;
  FakeClock clock;
  FakeTime time;
  sim::SimulatedPanel panel;
  sim::InProcessLine line;
  ScriptedFrontEnd ui;
  StatusLog log;
  Subsystems core;
};

}  // namespace tavrino::test
