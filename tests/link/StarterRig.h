// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The core on an in-process simulated panel with the port open, and what the panel saw.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/StarterUpdate.h"
#include "sim/PanelWire.h"
#include "support/PanelRig.h"

namespace tavrino::test {

using Bytes = std::vector<uint8_t>;

// Request codes as the panel sees them.
inline constexpr uint8_t kSyncFirst = 0x1B;
inline constexpr uint8_t kSyncSecond = 0x0D;
inline constexpr uint8_t kSpeedRequest = 0x14;
inline constexpr uint8_t kText = 0x21;
inline constexpr uint8_t kIdentify = 0x61;
inline constexpr uint8_t kRead = 0x62;
inline constexpr uint8_t kChecksum = 0x64;
inline constexpr uint8_t kWrite = 0x65;
inline constexpr uint8_t kErase = 0x66;
inline constexpr uint8_t kRestart = 0x67;
inline constexpr uint8_t kReadMemory1 = 0x71;
inline constexpr uint8_t kWriteMemory1 = 0x81;
inline constexpr uint8_t kUpdaterHandshake = 0xA5;

// Records the line speed each request went out at (the tool's side of a speed switch).
class SpeedTrace : public FrameTrace {
 public:
  explicit SpeedTrace(sim::InProcessLine& line) : line_(line) {}
  void RequestSent(const uint8_t* payload, uint16_t, const uint8_t*, uint16_t) override {
    sent.push_back({payload[0], line_.Baud()});
  }
  void AnswerReceived(const uint8_t*, uint16_t, bool) override {}

  struct Sent {
    uint8_t code;
    uint32_t baud;
    bool operator==(const Sent&) const = default;
  };
  std::vector<Sent> sent;
  std::vector<uint32_t> SpeedsOf(uint8_t code) const {
    std::vector<uint32_t> speeds;
    for (const auto& s : sent) {
      if (s.code == code) speeds.push_back(s.baud);
    }
    return speeds;
  }

 private:
  sim::InProcessLine& line_;
};

struct StarterRig : PanelRig {
  explicit StarterRig(const sim::PanelConfig& config = {}, uint16_t linkMode = 0,
                      bool tryFastSpeeds = false)
      : PanelRig(config), trace(line) {
    ui.dialogPort = 1;
    ui.dialogFastRS = tryFastSpeeds;
    core.ports.LinkMode = linkMode;
    core.link.SetTrace(&trace);
    EXPECT_TRUE(core.ports.ChoosePort());
  }

  Starter& starter() { return core.starter; }
  sim::Faults& faults() { return panel.FaultSettings(); }

  // The payloads of the requests the panel took in, in order.
  std::vector<Bytes> Requests() const {
    std::vector<Bytes> payloads;
    for (const auto& entry : panel.Transcript()) {
      if (!entry.fromTool || entry.dropped) continue;
      sim::RequestDecoder decoder;
      for (uint8_t b : entry.raw) {
        if (decoder.Feed(b) == sim::RequestDecoder::Event::Frame)
          payloads.push_back(decoder.Payload());
      }
    }
    return payloads;
  }
  std::vector<Bytes> RequestsWithCode(uint8_t code) const {
    std::vector<Bytes> out;
    for (auto& p : Requests()) {
      if (!p.empty() && p[0] == code) out.push_back(p);
    }
    return out;
  }

  // The status log line that begins with the label, trailing blanks removed.
  std::string LineOf(const std::string& label) const {
    for (const auto& l : Lines()) {
      if (l.rfind(label, 0) == 0) return l;
    }
    return {};
  }

  SpeedTrace trace;
};

}  // namespace tavrino::test
