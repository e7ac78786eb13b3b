#pragma once
#include <atomic>

namespace tavrino::cli {

// Ctrl+C (SIGINT) and SIGTERM set the stop flag, and nothing more: the running command
// winds down by its own rules at its next exchange with the panel. A second signal ends the
// process at once with 128 + the signal number (130 for Ctrl+C). The handlers interrupt a
// blocking read, so a question waiting for an answer sees the stop too. SIGPIPE is ignored
// meanwhile, so a closed output pipe cannot end the process in the middle of an update.
void InstallStopSignals(std::atomic<bool>& stopFlag);
// Gives SIGINT, SIGTERM and SIGPIPE back their default action.
void RestoreDefaultSignals();

}  // namespace tavrino::cli
