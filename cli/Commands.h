// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <atomic>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "cli/Options.h"
#include "cli/Terminal.h"
#include "frontend/Clock.h"
#include "frontend/Outcome.h"
#include "serial/SerialBackend.h"

namespace tavrino::cli {

// Where one tavrino-cli command talks to the person.
struct Console {
  Terminal& term;        // standard output: the log, boxes, the closing line
  std::ostream& err;     // standard error: why the command could not start or the port failed
  std::ostream& prompt;  // where questions are shown (the terminal the person looks at)
  int inFd;              // where answers come from
  bool interactive;      // inFd is a terminal a person answers on
  // Where Program, Test and Restart keep their run reports; empty: keep none.
  std::filesystem::path reportDir = {};
};

// Runs one command (check, program, test, restart) on the core over the given serial line
// and clock; returns the process exit status. `started` is called with the core's stop
// flag before any work, so that the caller can point Ctrl+C at its stop flag.
int RunCommand(const Options& options, SerialBackend& backend, Clock& clock, Console& console,
               const std::function<void(std::atomic<bool>&)>& started = {});

}  // namespace tavrino::cli
