// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <string>

namespace tavrino {

// Decodes the system's single-byte Windows-1250 texts to UTF-8 for display.
// The core never decodes: it keeps and compares bytes.
std::string Cp1250ToUtf8(const std::string& bytes);

}  // namespace tavrino
