#include "cli/StopSignals.h"

#include <unistd.h>

#include <csignal>

namespace tavrino::cli {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

std::atomic<bool>* g_stopFlag = nullptr;
volatile sig_atomic_t g_signalsSeen = 0;

extern "C" void OnStopSignal(int signo) {
  if (g_signalsSeen != 0) _exit(128 + signo);
  g_signalsSeen = 1;
  if (g_stopFlag != nullptr) g_stopFlag->store(true, std::memory_order_relaxed);
}

void SetHandler(int signo, void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a read waiting for an answer must see the stop
  sigaction(signo, &sa, nullptr);
}

}  // namespace

void InstallStopSignals(std::atomic<bool>& stopFlag) {
  g_stopFlag = &stopFlag;
  g_signalsSeen = 0;
  SetHandler(SIGINT, OnStopSignal);
  SetHandler(SIGTERM, OnStopSignal);
  // A reader of our output that goes away (`| head`) must not kill the tool in the middle
  // of writing the panel: the write fails and the command runs to its end.
  SetHandler(SIGPIPE, SIG_IGN);
}

void RestoreDefaultSignals() {
  SetHandler(SIGINT, SIG_DFL);
  SetHandler(SIGTERM, SIG_DFL);
  SetHandler(SIGPIPE, SIG_DFL);
  g_stopFlag = nullptr;
}

}  // namespace tavrino::cli
