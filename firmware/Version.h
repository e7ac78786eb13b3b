// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

namespace tavrino {

// " pol", " eng", ... " hun" for 0..8, " ???" for any other code.
// erasedIsPolish: the Starter's erased language byte 0xFF reads as " pol".
std::string LanguageSuffix(uint8_t code, bool erasedIsPolish = false);

// c1 "." c2 c3 "." c4 c5, with the language suffix from "1.03.03" on.
std::string VersionText(const std::string& fiveChars, uint8_t language);

// Byte-wise comparison; a text that is a prefix of a longer one is the smaller.
bool TextLess(const std::string& a, const std::string& b);

}  // namespace tavrino
