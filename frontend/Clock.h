// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>

namespace tavrino {

// Millisecond time base. The link layer uses only the low 16 bits of NowMs(),
// so every elapsed time is computed modulo 65536.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t NowMs() = 0;
  // Lets time pass without burning a core.
  virtual void SleepMs(uint32_t ms) = 0;
  uint16_t Tick() { return static_cast<uint16_t>(NowMs()); }
};

// The real clock: std::chrono::steady_clock.
class SteadyClock : public Clock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

// A stand-in clock for tests: time moves only when somebody sleeps or advances it,
// so a 41-attempt connection with 3000 ms time-outs takes microseconds.
class FakeClock : public Clock {
 public:
  explicit FakeClock(uint32_t start = 0) : now_(start) {}
  uint32_t NowMs() override { return now_; }
  void SleepMs(uint32_t ms) override { now_ += ms == 0 ? 1 : ms; }
  void Advance(uint32_t ms) { now_ += ms; }

 private:
  uint32_t now_;
};

}  // namespace tavrino
