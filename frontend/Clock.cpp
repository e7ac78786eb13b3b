// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontend/Clock.h"

#include <chrono>
#include <thread>

namespace tavrino {

uint32_t SteadyClock::NowMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SteadyClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms == 0 ? 1 : ms));
}

}  // namespace tavrino
