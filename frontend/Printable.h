// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Names that come from outside (a TAVRINO_COMn value, what a USB adapter calls itself) are
// shown on the terminal as text, never as commands to it.
#include <string>

namespace tavrino {

// text with every control character (C0, DEL and the C1 range U+0080..U+009F), every byte
// that is not part of well-formed UTF-8, and the backslash written as \xNN (\\ for the
// backslash), so that a newline cannot start a row of its own and an escape sequence
// cannot reach the terminal. Printable UTF-8 passes as it is.
std::string Printable(const std::string& text);

}  // namespace tavrino
