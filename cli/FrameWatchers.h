// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <ostream>
#include <vector>

#include "cli/Terminal.h"
#include "frontend/Clock.h"
#include "link/Link.h"

namespace tavrino::cli {

// --trace: every frame sent and received, one entry per frame, for a person to read:
// milliseconds since the start, the direction, the command or answer code by name, and
// the bytes in hex (a request's payload in order, then the bytes as they went on the wire).
// When the stream fails, the trace ends there and Failed() says so: the command goes on,
// and the person hears of it once, not once per frame.
class FrameTraceWriter : public FrameTrace {
 public:
  FrameTraceWriter(std::ostream& out, Clock& clock);
  bool Failed() const { return failed_; }
  void RequestSent(const uint8_t* payload, uint16_t n, const uint8_t* wire,
                   uint16_t wireCount) override;
  void AnswerReceived(const uint8_t* bytes, uint16_t count, bool ok) override;
  void StaleDropped(const uint8_t* bytes, uint16_t count) override;

 private:
  void Stamp(const char* direction);
  void Bytes(const char* what, const uint8_t* bytes, size_t n);
  // Ends an entry; a failed stream ends the trace.
  void Flush();

  std::ostream& out_;
  Clock& clock_;
  uint32_t startMs_;
  bool failed_ = false;
};

// --keypad: prints every text the tool sends to the panel's keypad display.
class KeypadEcho : public FrameTrace {
 public:
  explicit KeypadEcho(Terminal& term) : term_(term) {}
  void RequestSent(const uint8_t* payload, uint16_t n, const uint8_t*, uint16_t) override;
  void AnswerReceived(const uint8_t*, uint16_t, bool) override {}

 private:
  Terminal& term_;
};

// Hands every frame to several watchers (the link takes one).
class FrameTraceFanout : public FrameTrace {
 public:
  void Add(FrameTrace* trace) { traces_.push_back(trace); }
  bool Empty() const { return traces_.empty(); }
  void RequestSent(const uint8_t* payload, uint16_t n, const uint8_t* wire,
                   uint16_t wireCount) override {
    for (auto* t : traces_) t->RequestSent(payload, n, wire, wireCount);
  }
  void AnswerReceived(const uint8_t* bytes, uint16_t count, bool ok) override {
    for (auto* t : traces_) t->AnswerReceived(bytes, count, ok);
  }
  void StaleDropped(const uint8_t* bytes, uint16_t count) override {
    for (auto* t : traces_) t->StaleDropped(bytes, count);
  }

 private:
  std::vector<FrameTrace*> traces_;
};

}  // namespace tavrino::cli
