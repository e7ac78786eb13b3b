// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <atomic>

#include "frontend/Clock.h"
#include "frontend/FrontEnd.h"
#include "frontend/StatusLog.h"

namespace tavrino {

// What every layer of the core reaches the outside through: the clock, the front end
// (boxes, pump, window texts), the status display, and the program-wide stop flag.
// The program creates one; a test creates a fresh one with a fake clock and a script.
class Host {
 public:
  Host(Clock& clock, FrontEnd& ui, StatusLog& log) : clock(clock), ui(ui), log(log) {}
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  bool Stopped() const { return StopRequested.load(std::memory_order_relaxed); }
  void RequestStop() { StopRequested.store(true, std::memory_order_relaxed); }
  void ClearStop() { StopRequested.store(false, std::memory_order_relaxed); }

  Clock& clock;
  FrontEnd& ui;
  StatusLog& log;
  // Set by Stop (button, Ctrl+S, SIGINT); every wait and retry loop tests it.
  // Atomic so that a signal handler may set it.
  std::atomic<bool> StopRequested{false};
};

}  // namespace tavrino
