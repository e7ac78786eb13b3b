// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrino {

// Building .17 files from plain program halves: for tavrino-pack, the tests and the demo.

// The version record written into every half at 0x12000.
struct VersionStamp {
  std::string chars;       // the five version characters, "10402" for 1.04.02
  uint8_t language = 0;    // the language code
  bool signature = false;  // 0x00 0x00 "QZ17" at 0x12000 and the record behind it
};

// "1.04.02:1" -> chars "10402", language 1. False, with a message, for anything else.
bool ParseVersionStamp(const std::string& text, VersionStamp& stamp, std::string& error);

// A plain half is its program bytes alone (0x5FFFC), or a whole half (0x60000) whose last
// four bytes are replaced by the computed trailer.
bool IsPlainHalfSize(uint64_t size);

// The scrambled bytes of a file of one or two halves: each half stamped when asked, given
// its trailer and scrambled as a section of its own. False, with a message, for a wrong
// number of halves, a half of the wrong size, or a stamp without five characters.
bool PackFirmware(const std::vector<std::vector<uint8_t>>& halves, const VersionStamp* stamp,
                  std::vector<uint8_t>& file, std::string& error);

// Reads one plain half from disk; refuses anything but a plain file of a half's size.
bool ReadPlainHalf(const std::string& path, std::vector<uint8_t>& half, std::string& error);

// Writes a temporary file in the same folder and renames it into place, so a failure
// never leaves a half-written file under the name.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& error);

}  // namespace tavrino
