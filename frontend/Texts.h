// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <string>

namespace tavrino::texts {

// The two Polish status words are Windows-1250 bytes, kept and compared as such.
// clang-format off
inline const std::string kBlad = "B\xA3\xA5" "D";                      // "BŁĄD"
inline const std::string kNoConnection = "BRAK po\xB3\xB9" "czenia RS";  // "BRAK połączenia RS"
// clang-format on
inline const std::string kOk = "  ok";
// The status of a step that ended because the serial port went away under it.
inline const std::string kPortGone = "port stopped working";
// The line after the status word of a step that a Stop ended.
inline const std::string kStoppedByUser = "Stopped by the user.";
inline constexpr int kStatusWidth = 4;  // every status is right-aligned to at least 4 columns
inline constexpr int kProgressStep = 1;

}  // namespace tavrino::texts
