// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <csignal>

#include "os/Console.h"

namespace tavrino::os {
namespace {

// Runs in a child process: the first signal only sets the flag; the process lives on, and
// knows whether the terminal went away.
[[noreturn]] void FirstSignalOnlyStops(int signo) {
  std::atomic<bool> stop{false};
  InstallStopSignals(stop);
  raise(signo);
  std::_Exit(!stop.load() ? 1 : ConsoleHungUp() != (signo == SIGHUP) ? 2 : 0);
}

// Runs in a child process: a second signal ends it at once, whatever the program is doing.
[[noreturn]] void SecondSignalEnds(int signo) {
  std::atomic<bool> stop{false};
  InstallStopSignals(stop);
  raise(signo);
  raise(signo);
  std::_Exit(3);
}

TEST(StopSignals, FirstSetsTheStopFlagSecondEndsTheProcess) {
  // SIGHUP: the terminal was closed; the command winds down as on Ctrl+C.
  for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EXIT(FirstSignalOnlyStops(signo), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(SecondSignalEnds(signo), testing::ExitedWithCode(128 + signo), "");
  }
}

// A closed output pipe neither stops the command nor ends the process.
TEST(StopSignals, ClosedOutputPipeIsSurvived) {
  EXPECT_EXIT(
      {
        std::atomic<bool> stop{false};
        InstallStopSignals(stop);
        raise(SIGPIPE);
        std::_Exit(stop.load() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        std::atomic<bool> stop{false};
        InstallStopSignals(stop);
        RestoreDefaultSignals();
        raise(SIGPIPE);
        std::_Exit(0);
      },
      testing::KilledBySignal(SIGPIPE), "");
}

// Under nohup the terminal may close without stopping anything.
TEST(StopSignals, AHangUpIgnoredBeforeStaysIgnored) {
  EXPECT_EXIT(
      {
        std::signal(SIGHUP, SIG_IGN);
        std::atomic<bool> stop{false};
        InstallStopSignals(stop);
        raise(SIGHUP);
        RestoreDefaultSignals();
        raise(SIGHUP);
        std::_Exit(stop.load() || ConsoleHungUp() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(StopSignals, RestoredDefaultsEndTheProcessOnTheFirstSignal) {
  EXPECT_EXIT(
      {
        std::atomic<bool> stop{false};
        InstallStopSignals(stop);
        RestoreDefaultSignals();
        raise(SIGINT);
        std::_Exit(3);
      },
      testing::KilledBySignal(SIGINT), "");
}

}  // namespace
}  // namespace tavrino::os
