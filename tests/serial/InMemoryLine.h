// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A stand-in serial line for the driver and frame tests: bytes arrive at chosen moments
// of a fake clock, every write is recorded as one piece, and waiting advances the clock
// instead of sleeping. Used only by tests.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "frontend/Clock.h"
#include "serial/SerialBackend.h"

namespace tavrino::test {

class InMemoryLine : public SerialBackend {
 public:
  explicit InMemoryLine(FakeClock& clock) : clock_(clock) {}

  // Devices that refuse to open, and why; every other name opens.
  std::map<std::string, OpenError> refused;
  bool cts = false;

  std::string device;  // last device opened
  uint32_t baud = 0;   // its speed
  int opens = 0;
  int speedChanges = 0;
  // What every write answers (LineGone, TimedOut: a line that has failed).
  SerialError writeResult = SerialError::None;
  std::vector<std::vector<uint8_t>> writes;
  std::vector<uint32_t> waits;  // the ms of every WaitReadable call

  // Bytes that arrive gapMs apart, the first one delayMs from now.
  void Arrive(const std::vector<uint8_t>& bytes, uint32_t delayMs = 0, uint32_t gapMs = 0) {
    uint32_t at = clock_.NowMs() + delayMs;
    for (uint8_t b : bytes) {
      incoming_.push_back({at, b});
      at += gapMs;
    }
  }
  // Bytes that have arrived but nobody read yet.
  size_t Unread() { return BytesWaiting(); }

  std::string DeviceName(uint16_t n) const override {
    const std::string variable = "TAVRINO_COM" + std::to_string(n);
    if (const char* mapped = std::getenv(variable.c_str()); mapped != nullptr && *mapped != 0)
      return mapped;
    return "/dev/ttyS" + std::to_string(n - 1);
  }
  OpenError Open(const std::string& name, uint32_t speed) override {
    Close();
    auto it = refused.find(name);
    if (it != refused.end()) return it->second;
    open_ = true;
    device = name;
    baud = speed;
    ++opens;
    return OpenError::None;
  }
  SerialError SetSpeed(uint32_t speed) override {
    if (!open_) return SerialError::Failed;
    baud = speed;
    ++speedChanges;
    return SerialError::None;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  size_t BytesWaiting() override {
    if (!open_) return 0;
    return static_cast<size_t>(
        std::count_if(incoming_.begin(), incoming_.end(),
                      [&](const Pending& p) { return p.at <= clock_.NowMs(); }));
  }
  size_t Read(uint8_t* buf, size_t n) override {
    size_t count = 0;
    while (open_ && count < n && !incoming_.empty() && incoming_.front().at <= clock_.NowMs()) {
      buf[count++] = incoming_.front().byte;
      incoming_.pop_front();
    }
    return count;
  }
  SerialError Write(const uint8_t* buf, size_t n) override {
    if (!open_) return SerialError::Failed;
    writes.emplace_back(buf, buf + n);
    return writeResult;
  }
  bool Cts() override { return open_ && cts; }
  // Moves the clock to the next arrival within ms, or by the whole ms.
  bool WaitReadable(uint32_t ms) override {
    waits.push_back(ms);
    if (BytesWaiting() > 0) return true;
    const uint32_t now = clock_.NowMs();
    if (open_ && !incoming_.empty() && incoming_.front().at - now <= ms) {
      clock_.Advance(incoming_.front().at - now);
      return true;
    }
    clock_.Advance(ms);
    return false;
  }

 private:
  struct Pending {
    uint32_t at;
    uint8_t byte;
  };
  FakeClock& clock_;
  bool open_ = false;
  std::deque<Pending> incoming_;
};

}  // namespace tavrino::test
