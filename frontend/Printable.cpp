// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontend/Printable.h"

#include <cstdint>
#include <cstdio>

namespace tavrino {
namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when there is none.
size_t SequenceAt(const std::string& text, size_t at, uint32_t& code) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  size_t length = 0;
  uint32_t min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1Fu, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0Fu, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80u) return 0;
    code = code << 6 | (byte(at + i) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void Escape(std::string& out, uint8_t byte) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "\\x%02x", byte);
  out += hex;
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<uint8_t>(text[at]);
    if (byte == '\\') {
      out += "\\\\";
      ++at;
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += static_cast<char>(byte);
      ++at;
    } else if (byte < 0x80) {
      Escape(out, byte);
      ++at;
    } else {
      uint32_t code = 0;
      const size_t length = SequenceAt(text, at, code);
      if (length == 0 || code <= 0x9F) {
        // A stray byte, or a C1 control (U+009B starts an escape sequence on some terminals).
        const size_t bad = length == 0 ? 1 : length;
        for (size_t i = 0; i < bad; ++i) Escape(out, static_cast<uint8_t>(text[at + i]));
        at += bad;
      } else {
        out.append(text, at, length);
        at += length;
      }
    }
  }
  return out;
}

}  // namespace tavrino
