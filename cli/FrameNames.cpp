// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/FrameNames.h"

#include <cstdio>

#include "link/Link.h"

namespace tavrino::cli {
namespace {

constexpr uint8_t kCmdIdentify = 0x61;
constexpr uint8_t kCmdRead = 0x62;
constexpr uint8_t kCmdChecksum = 0x64;
constexpr uint8_t kCmdWrite = 0x65;
constexpr uint8_t kCmdErase = 0x66;
constexpr uint8_t kCmdRestart = 0x67;
constexpr uint8_t kCmdSync1 = 0x1B;
constexpr uint8_t kCmdSync2 = 0x0D;
constexpr uint8_t kCmdSpeed = 0x14;
constexpr uint8_t kCmdText = 0x21;
constexpr uint8_t kCmdDataRead = 0x70;   // + memory number
constexpr uint8_t kCmdDataWrite = 0x80;  // + memory number
constexpr uint8_t kCmdUpdater = 0xA5;
constexpr uint16_t kDataReadLength = 4;
constexpr uint16_t kBlockFrameLength = 259;
constexpr size_t kKeypadWidth = 16;

std::string Hex(uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

uint32_t Address24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16;
}

std::string Quoted(const std::string& text) {
  return "[" + text + "]";
}

std::string KeypadDescription(const KeypadText& t) {
  if (!t.upper && !t.lower) return "text: clear the keypad display";
  std::string s = "text:";
  if (t.upper) s += " upper " + Quoted(*t.upper);
  if (t.lower) s += " lower " + Quoted(*t.lower);
  if (t.banner) s += " (banner)";
  return s;
}

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t n) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    if (i != 0) s.push_back(' ');
    s.push_back(digits[bytes[i] >> 4]);
    s.push_back(digits[bytes[i] & 0x0F]);
  }
  return s;
}

std::string AnswerCodeName(uint8_t code) {
  switch (code) {
    case AnswerAck:
      return "ack (0x91)";
    case AnswerData:
      return "data (0x92)";
    case AnswerError:
      return "error (0x93)";
    case AnswerBadCommand:
      return "bad command (0x94)";
    default:
      return "code " + Hex(code, 2);
  }
}

std::optional<KeypadText> DecodeKeypadRequest(const uint8_t* payload, uint16_t n) {
  if (n < 4 || payload[0] != kCmdText) return std::nullopt;
  KeypadText t;
  auto text = [&](size_t from) {
    return std::string(reinterpret_cast<const char*>(payload) + from, kKeypadWidth);
  };
  const uint8_t kind = payload[2];
  if (payload[1] == 0x11 && n >= 3 + kKeypadWidth) {
    if (kind == 0x7C) t.upper = text(3);
    if (kind == 0x7D) t.lower = text(3);
  } else if (payload[1] == 0x22 && n >= 4 + 2 * kKeypadWidth) {
    t.upper = text(4);
    t.lower = text(4 + kKeypadWidth);
    t.banner = kind == 0x73;
  }
  return t;
}

std::string DescribeRequest(const uint8_t* p, uint16_t n) {
  if (n == 0) return "empty request";
  const uint8_t c = p[0];
  if (c == kCmdRead && n >= 5) {
    return "read flash " + Hex(Address24(p + 1), 6) + (p[4] == 1 ? ", 1 byte" : ", 256 bytes");
  }
  if (c == kCmdChecksum && n >= 7) {
    return "checksum flash " + Hex(Address24(p + 1), 6) + ", " + std::to_string(Address24(p + 4)) +
           " bytes";
  }
  if (c == kCmdWrite && n >= 3) {
    return "write flash " +
           Hex(static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16, 6) + ", " +
           std::to_string(n - 3) + " bytes";
  }
  if (c == kCmdErase && n >= 2) return "erase sector " + std::to_string(p[1]);
  if (c == kCmdIdentify) return "identify";
  if (c == kCmdRestart) return "restart";
  if (c == kCmdSync1) return "sync (first variant)";
  if (c == kCmdSync2) return "sync (second variant)";
  if (c == kCmdSpeed) return "speed request";
  if (c == kCmdUpdater) return "updater handshake";
  if (c == kCmdText) {
    const auto keypad = DecodeKeypadRequest(p, n);
    return keypad ? KeypadDescription(*keypad) : "text (too short)";
  }
  if (c >= kCmdDataRead && n == kDataReadLength && n >= 3) {
    return "data read memory " + std::to_string(c - kCmdDataRead) + " " +
           Hex(static_cast<uint32_t>(p[1]) | static_cast<uint32_t>(p[2]) << 8, 4);
  }
  if (c >= kCmdDataWrite && n == kBlockFrameLength) {
    return "data write memory " + std::to_string(c - kCmdDataWrite) + " " +
           Hex(static_cast<uint32_t>(p[1]) | static_cast<uint32_t>(p[2]) << 8, 4) + ", 256 bytes";
  }
  return "unknown command " + Hex(c, 2);
}

}  // namespace tavrino::cli
