// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The core's outside world for a fuzz target: a fake clock, a front end that answers from
// no script and never blocks, and a status log nobody looks at.
#include "frontend/Clock.h"
#include "frontend/Host.h"
#include "frontend/StatusLog.h"
#include "tests/support/ScriptedFrontEnd.h"

namespace tavrino::fuzz {

struct FuzzHost {
  FakeClock clock{1000};
  test::ScriptedFrontEnd ui;
  StatusLog log{StatusLog::kColumns, StatusLog::kRows};
  Host host{clock, ui, log};
};

}  // namespace tavrino::fuzz
