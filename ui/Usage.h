// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What `tavrino --help` and `tavrino --version` print. Both are answered before a window
// system is asked for anything, so that they work without a display.
#include <string>

namespace tavrino::ui {

std::string DesktopUsageText();
std::string DesktopVersionText();

}  // namespace tavrino::ui
