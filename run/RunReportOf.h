#pragma once
// The run report's facts that the core holds: the file, both versions, the port and the
// speed, and how the command ended. The front ends add the status lines and save it.
#include <string>

#include "frontend/Outcome.h"
#include "state/RunReport.h"

namespace tavrino {

struct Core;

// Begins the report of one Program, Test or Restart on core. Forgets the panel version of
// an earlier command, so that a report names only what this one read.
RunReport StartRunReport(Core& core, const std::string& command, const std::string& frontEnd);
// Fills in the rest once the command has ended (before the port is forgotten).
void FinishRunReport(const Core& core, Outcome outcome, RunReport& report);

}  // namespace tavrino
