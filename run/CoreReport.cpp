// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontend/Cp1250.h"
#include "run/Core.h"
#include "run/Subsystems.h"

namespace tavrino {

RunReport Core::BeginRunReport(const std::string& command, const std::string& frontEnd) {
  Subsystems& core = *parts_;
  RunReport report;
  report.command = command;
  report.frontEnd = frontEnd;
  report.started = std::chrono::system_clock::now();
  core.run.ForgetPanelShown();
  return report;
}

void Core::FinishRunReport(Outcome outcome, RunReport& report) const {
  const Subsystems& core = *parts_;
  report.ended = std::chrono::system_clock::now();
  report.outcome = OutcomeName(outcome);
  report.exitStatus = ExitCode(outcome);
  if (report.command == "Restore") {
    report.file = core.run.RestoreFile();
  } else if (report.command != "Restart") {
    report.file = core.file.FirmwareFileName;
    report.fileVersion = Cp1250ToUtf8(core.file.FileVersionText);
  }
  // As the status line showed it: a resumed or blank panel is judged by another version,
  // which the report must not put in the place of what the panel holds.
  report.panelVersion = Cp1250ToUtf8(core.run.Panel().versionShown);
  const uint16_t n = core.ports.PortNumber;
  if (n >= 1 && n <= 4) {
    report.port = "COM" + std::to_string(n) + " (" + core.port.DeviceOf(n) + ")";
  } else {
    report.port = "none chosen";
  }
  if (core.portOpened) {
    report.speed = std::to_string(PortChoice::Speed(core.ports.LinkMode)) + " bps";
  }
}

}  // namespace tavrino
