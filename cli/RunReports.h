// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The run report of one tavrino-cli command: its status lines collected as they finish,
// the core's facts added at the end, saved, and its path told.
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "frontend/Outcome.h"
#include "frontend/StatusLines.h"
#include "state/RunReport.h"

namespace tavrino {
class Core;
}

namespace tavrino::cli {

class CliRunReport {
 public:
  // view keeps drawing the log; the report sees the lines on their way. A line's text in
  // full (StatusLineTap::InFull) goes into the report after its line, and to alsoInFull.
  CliRunReport(StatusLogView& view, StatusLineTap::LineSink alsoInFull);
  StatusLineTap& Tap() { return tap_; }

  // Program, Test and Restart keep a report; check keeps none.
  void Start(Core& core, Command command);
  // Saves the report into dir (nothing when dir is empty or no report was started) and
  // tells its path and how many older reports went, or why it was not written, on err.
  // exitStatus is the process's, which a closed terminal makes differ from the outcome's.
  void Save(const Core& core, Outcome outcome, int exitStatus, const std::string& portDevice,
            const std::filesystem::path& dir, std::ostream& err);

 private:
  StatusLineTap tap_;
  std::vector<std::string> lines_;
  RunReport report_;
  bool started_ = false;
};

}  // namespace tavrino::cli
