// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The subsystems behind a Core, for tests that drive the window or the command line and
// then look at (or set up) what the core did inside.
#include "run/Core.h"
#include "run/Subsystems.h"

namespace tavrino::test {

struct CoreSeam {
  static Subsystems& Parts(Core& core) { return *core.parts_; }
};

}  // namespace tavrino::test
