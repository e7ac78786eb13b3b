// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace tavrino::cli {

// A request as a person reads it: "read flash 0x071FF9, 1 byte", "erase sector 3", ...
// payload holds the n request bytes, command code first.
std::string DescribeRequest(const uint8_t* payload, uint16_t n);
// "ack (0x91)", "data (0x92)", "error (0x93)", "bad command (0x94)", "code 0x5A".
std::string AnswerCodeName(uint8_t code);
// Upper-case hex bytes separated by spaces.
std::string HexBytes(const uint8_t* bytes, size_t n);

// The texts of a keypad request (command 0x21); nothing for other requests. A clear request
// has both lines empty.
struct KeypadText {
  std::optional<std::string> upper;  // 16 single-byte characters when sent
  std::optional<std::string> lower;
  bool banner = false;
};
std::optional<KeypadText> DecodeKeypadRequest(const uint8_t* payload, uint16_t n);

}  // namespace tavrino::cli
