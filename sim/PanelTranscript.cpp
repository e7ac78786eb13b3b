// SPDX-License-Identifier: GPL-2.0-or-later
#include <cstdio>

#include "sim/PanelReply.h"

namespace tavrino::sim {

std::string HexNumber(uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  std::string s;
  s.reserve(bytes.size() * 3);
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
    s += buf;
  }
  return s;
}

std::string DescribeAnswer(uint8_t code, const std::vector<uint8_t>& data) {
  switch (code) {
    case kAnswerAck:
      return "Ack";
    case kAnswerData:
      return data.size() <= 4 ? "Data " + HexBytes(data)
                              : "Data (" + std::to_string(data.size()) + " bytes)";
    case kAnswerError:
      return "Error";
    case kAnswerBadCommand:
      return "BadCommand";
    default:
      return "code " + HexNumber(code, 2);
  }
}

std::string TranscriptLine(const TranscriptEntry& entry) {
  const char* kind = entry.dropped ? "lost" : entry.fromTool ? "req" : "ans";
  return std::to_string(entry.startUs) + '\t' + std::to_string(entry.endUs) + '\t' + kind + '\t' +
         HexBytes(entry.raw) + '\t' + entry.decoded;
}

}  // namespace tavrino::sim
