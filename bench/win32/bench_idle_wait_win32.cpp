// SPDX-License-Identifier: GPL-2.0-or-later
// CPU cost of waiting for an answer that never comes, in the Windows build: COM1 (under
// wine, mapped to a pseudo-terminal whose other end stays silent) with the real clock and
// the Win32 backend, then with the port closed. The frame reader should sleep, not spin:
// target below 2 % of one core. Exit status 1 when a case misses the target, 2 when COM1
// does not open.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "frontend/Clock.h"
#include "frontend/Host.h"
#include "frontend/StatusLog.h"
#include "link/Link.h"
#include "serial/SerialPort.h"
#include "serial/SystemSerial.h"
#include "tests/support/ScriptedFrontEnd.h"

namespace {

using namespace tavrino;

constexpr uint16_t kTimeoutMs = 3000;
constexpr double kTargetRatio = 0.02;

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

bool Measure(Link& link, const char* what) {
  const double cpu0 = CpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  const bool answered = link.ReceiveAnswer(kTimeoutMs) == ReceiveResult::Answer;
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wall0;
  const double cpu = CpuSeconds() - cpu0;
  const double ratio = cpu / wall.count();
  std::printf("%-22s wall %7.1f ms  cpu %6.2f ms  cpu/wall %5.2f %%  %s\n", what,
              wall.count() * 1e3, cpu * 1e3, ratio * 100,
              ratio < kTargetRatio ? "ok" : "OVER TARGET");
  return !answered && ratio < kTargetRatio;
}

}  // namespace

int main() {
  SteadyClock clock;
  test::ScriptedFrontEnd ui;  // a window with nothing to do: the pump returns at once
  StatusLog log;
  Host host(clock, ui, log);
  const auto backend = MakeSystemSerialBackend();
  SerialPort port(*backend);
  Link link(port, host);
  if (!port.OpenPort(1, 12, 'N')) {
    std::fprintf(stderr, "cannot open %s\n", port.DeviceName(1).c_str());
    return 2;
  }
  std::printf("ReceiveAnswer(%u) with no answer, Win32 backend, target cpu/wall < %.0f %%\n",
              kTimeoutMs, kTargetRatio * 100);
  bool ok = Measure(link, "silent other end");
  port.ClosePort();
  ok = Measure(link, "port closed") && ok;
  return ok ? 0 : 1;
}
