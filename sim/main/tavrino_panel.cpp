// SPDX-License-Identifier: GPL-2.0-or-later
// tavrino-panel: a simulated QZ-17 panel on a pseudo-terminal, for tests and the demo.
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/PanelOptions.h"
#include "sim/PtyPanel.h"
#include "sim/SimulatedPanel.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStop(int) {
  stopRequested = 1;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavrino::sim;
  const std::vector<std::string> args(argv + 1, argv + argc);
  PanelOptions options;
  std::string error;
  if (!ParsePanelOptions(args, options, error)) {
    std::fprintf(stderr, "tavrino-panel: %s\nTry tavrino-panel --help.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(PanelUsage().c_str(), stdout);
    return 0;
  }

  SimulatedPanel panel;
  if (!BuildPanel(options, panel, error)) {
    std::fprintf(stderr, "tavrino-panel: %s\n", error.c_str());
    return 2;
  }
  if (!options.statePath.empty() && Exists(options.statePath)) {
    if (!panel.LoadState(options.statePath)) {
      std::fprintf(stderr, "tavrino-panel: cannot use the state file: %s\n",
                   panel.StateError().c_str());
      return 1;
    }
    if (!options.panelOptionsGiven.empty())
      std::fprintf(stderr, "tavrino-panel: the panel comes from %s; %s and the like are ignored\n",
                   options.statePath.c_str(), options.panelOptionsGiven.front().c_str());
  }

  std::FILE* transcript = nullptr;
  if (!options.transcriptPath.empty()) {
    transcript = std::fopen(options.transcriptPath.c_str(), "w");
    if (!transcript) {
      std::fprintf(stderr, "tavrino-panel: cannot write the transcript %s\n",
                   options.transcriptPath.c_str());
      return 1;
    }
  }

  // SIGINT and SIGTERM are held back except while the panel waits, so none is missed.
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigset_t blocked, waitMask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigprocmask(SIG_BLOCK, &blocked, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);

  PtyPanel pty(panel);
  if (!pty.Open(options.link, error)) {
    std::fprintf(stderr, "tavrino-panel: %s\n", error.c_str());
    if (transcript) std::fclose(transcript);
    return 1;
  }
  std::printf("%s\n", options.link.c_str());
  std::fflush(stdout);

  pty.Serve(stopRequested, waitMask, transcript);

  pty.Close();
  if (transcript) std::fclose(transcript);
  if (!options.statePath.empty() && !panel.SaveState(options.statePath)) {
    std::fprintf(stderr, "tavrino-panel: %s\n", panel.StateError().c_str());
    return 1;
  }
  return 0;
}
