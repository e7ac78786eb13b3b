// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The desktop program's one preference: whether Program reads the settings back after
// writing them. Kept by Qt in the user's configuration (~/.config/Tavrino/tavrino.conf on
// Linux), so that it holds from one session to the next.

namespace tavrino::ui {

bool CheckSettingsPreference();
void SaveCheckSettingsPreference(bool on);

}  // namespace tavrino::ui
