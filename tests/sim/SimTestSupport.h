// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Helpers for the simulator's own tests: a hand-written request encoder (deliberately not
// the tool's), a clock, and a panel on an in-process line.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/InProcessLine.h"
#include "sim/PanelReply.h"
#include "sim/PanelWire.h"
#include "sim/SimulatedPanel.h"

namespace tavrino::sim::test {

using Bytes = std::vector<uint8_t>;

// Request frame on the wire for payload bytes 1..n.
inline Bytes Request(const Bytes& payload) {
  const size_t n = payload.size();
  Bytes order(payload.begin(), payload.begin() + 3);
  for (size_t i = n; i >= 4; --i) order.push_back(payload[i - 1]);
  uint8_t sum = 0x93, x = 0x78;
  for (uint8_t b : payload) {
    sum = static_cast<uint8_t>(sum + b);
    x ^= b;
  }
  order.push_back(sum);
  order.push_back(x);
  Bytes wire = {0xFF, 0xFF, static_cast<uint8_t>((n - 3) & 0xFF)};
  for (uint8_t b : order) {
    wire.push_back(b);
    if (b == 0xFF) wire.push_back(0x00);
  }
  return wire;
}

inline Bytes Concat(Bytes a, const Bytes& b) {
  a.reserve(a.size() + b.size());
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class ManualTime : public TimeSource {
 public:
  uint32_t NowMs() override { return now; }
  void AdvanceMs(uint32_t ms) override { now += ms; }
  uint32_t now = 1000;
};

inline const Bytes kSync1 = {0x1B, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
inline const Bytes kSync2 = {0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
inline const Bytes kIdentify = {0x61, 0x61, 0x61, 0x61};
inline const Bytes kRestart = {0x67, 0x68, 0x69, 0x6A};
inline const Bytes kUpdaterHandshake = {0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};

inline Bytes ReadFlash(uint32_t address, uint8_t count) {
  return {0x62, uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16), count};
}
inline Bytes Checksum(uint32_t address) {
  return {0x64, uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16), 0x00, 0x02, 0x00};
}
inline Bytes Erase(uint8_t sector) {
  return {0x66, sector, 0x66, 0x66};
}
inline Bytes WritePage(uint32_t address, const Bytes& data) {
  return Concat({0x65, uint8_t(address >> 8), uint8_t(address >> 16)}, data);
}

// A panel on an in-process line, talked to one request at a time.
struct LineRig {
  explicit LineRig(const PanelConfig& config = {}) : panel(config), line(panel, time) {
    line.Open("/dev/ttyS0", 9600);
  }

  // Sends the payload and collects whatever comes back within timeoutMs.
  Bytes Exchange(const Bytes& payload, uint32_t timeoutMs = 100) {
    return Raw(Request(payload), timeoutMs);
  }
  Bytes Raw(const Bytes& wire, uint32_t timeoutMs = 100) {
    line.Write(wire.data(), wire.size());
    Bytes got;
    const uint32_t until = time.now + timeoutMs;
    while (time.now < until) {
      if (line.WaitReadable(until - time.now)) {
        uint8_t buf[512];
        const size_t n = line.Read(buf, sizeof buf);
        got.insert(got.end(), buf, buf + n);
      }
    }
    return got;
  }
  void Reopen(uint32_t baud) { line.Open("/dev/ttyS0", baud); }

  ManualTime time;
  SimulatedPanel panel;
  InProcessLine line;
};

// The data bytes of a well-formed answer (empty when it is not one).
inline Bytes AnswerData(const Bytes& answer, uint8_t expectedCode) {
  if (answer.size() < 4 || answer[1] != expectedCode) return {};
  const size_t d = answer[0] == 0 ? 256 : answer[0];
  if (answer.size() != d + 4) return {};
  return Bytes(answer.begin() + 2, answer.begin() + 2 + static_cast<std::ptrdiff_t>(d));
}

}  // namespace tavrino::sim::test
