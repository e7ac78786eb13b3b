// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/Subsystems.h"

#include "frontend/Texts.h"

namespace tavrino {

void Subsystems::EndWithPort() {
  // Kept past the close, so that the front end can tell a line that went away under the
  // command from a port that never opened.
  lineAtEnd = port.LineError();
  port.ClosePort();
}

Outcome Subsystems::EndWithRun(Outcome outcome) {
  portOpened = run.PortOpened();
  EndWithPort();
  return outcome;
}

void Subsystems::Use(const RunRequest& request) {
  ports.PortNumber = request.port;
  // A device given by its path stands in for COM1, for this command only.
  if (!request.portDevice.empty()) {
    port.MapPort(1, request.portDevice);
    ports.PortNumber = 1;
  }
  ports.TryFastSpeeds = request.tryFastSpeeds;
  checkSettings = request.checkSettings;
  file.FirmwareFileName = request.file;
  starterUpdate.UpdatersFolder = request.updaters;
}

Outcome Subsystems::Program(bool unattended) {
  lineAtEnd = SerialError::None;
  return EndWithRun(run.Perform(RunSwitches::Program(unattended, checkSettings)));
}

Outcome Subsystems::Test() {
  lineAtEnd = SerialError::None;
  return EndWithRun(run.Perform(RunSwitches::Test(checkSettings)));
}

Outcome Subsystems::Backup(const std::string& file, bool replace) {
  lineAtEnd = SerialError::None;
  return EndWithRun(run.SettingsBackup(file, replace));
}

Outcome Subsystems::Restore(const std::string& file, bool unattended) {
  lineAtEnd = SerialError::None;
  return EndWithRun(run.RestoreSettings(file, unattended));
}

Outcome Subsystems::Restart() {
  lineAtEnd = SerialError::None;
  portOpened = ports.ChoosePort();
  if (!portOpened) return Outcome::PortNotOpened;
  host.log.AddLine("Restarting panel");
  const bool restarted = starter.RestartPanel();
  EndWithPort();
  // A stopped restart leaves its line open: whether the panel took it is not known.
  if (host.Stopped()) {
    host.log.AddLine(texts::kStoppedByUser);
    return Outcome::Stopped;
  }
  host.log.SetStatus(restarted ? texts::kOk : texts::kBlad, texts::kStatusWidth);
  return restarted ? Outcome::RestartOk : Outcome::NoConnection;
}

}  // namespace tavrino
