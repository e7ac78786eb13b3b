// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the panel makes of one request (internal to the simulator).
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimulatedPanel.h"

namespace tavrino::sim {

inline constexpr uint8_t kAnswerAck = 0x91;
inline constexpr uint8_t kAnswerData = 0x92;
inline constexpr uint8_t kAnswerError = 0x93;
inline constexpr uint8_t kAnswerBadCommand = 0x94;

struct SimulatedPanel::Reply {
  bool answer = false;  // false: the panel stays silent
  uint8_t code = 0;
  std::vector<uint8_t> data;
  std::string what;     // the request, decoded
  std::string result;   // what came of it
  uint32_t workUs = 0;  // the panel's own working time (pace mode)
  After after = After::None;
  uint32_t afterBaud = 0;
};

// "0x01A2" style, upper-case, with the given number of digits.
std::string HexNumber(uint32_t value, int digits);
// "FF FF 01 67"
std::string HexBytes(const std::vector<uint8_t>& bytes);
// "Ack", "Data 02 31", "Data (256 bytes)", "Error", "BadCommand", "code 0x55".
std::string DescribeAnswer(uint8_t code, const std::vector<uint8_t>& data);

}  // namespace tavrino::sim
