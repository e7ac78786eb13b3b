// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/Subsystems.h"

#include "frontend/Texts.h"

namespace tavrino {

namespace {

void SetSwitches(UpdateRun& run, bool on) {
  run.ComparePrograms = on;
  run.WriteFlash = on;
  run.ShowProgrammingError = on;
}

}  // namespace

void Subsystems::EndWithPort() {
  // Kept past the close, so that the front end can tell a line that went away under the
  // command from a port that never opened.
  lineAtEnd = port.LineError();
  port.ClosePort();
}

void Subsystems::Use(const RunRequest& request) {
  ports.PortNumber = request.port;
  // A device given by its path stands in for COM1, for this command only.
  if (!request.portDevice.empty()) {
    port.MapPort(1, request.portDevice);
    ports.PortNumber = 1;
  }
  ports.TryFastSpeeds = request.tryFastSpeeds;
  run.CheckSettings = request.checkSettings;
  file.FirmwareFileName = request.file;
  starterUpdate.UpdatersFolder = request.updaters;
}

Outcome Subsystems::Program(bool unattended) {
  lineAtEnd = SerialError::None;
  SetSwitches(run, true);
  const Outcome outcome = run.Perform(unattended);
  EndWithPort();
  return outcome;
}

Outcome Subsystems::Test() {
  lineAtEnd = SerialError::None;
  SetSwitches(run, false);
  const Outcome outcome = run.Perform(false);
  EndWithPort();
  return outcome;
}

Outcome Subsystems::Backup(const std::string& file, bool replace) {
  lineAtEnd = SerialError::None;
  const Outcome outcome = run.SettingsBackup(file, replace);
  EndWithPort();
  return outcome;
}

Outcome Subsystems::Restore(const std::string& file, bool unattended) {
  lineAtEnd = SerialError::None;
  run.Unattended = unattended;
  const Outcome outcome = run.RestoreSettings(file);
  EndWithPort();
  return outcome;
}

Outcome Subsystems::Restart() {
  lineAtEnd = SerialError::None;
  run.PortOpened = ports.ChoosePort();
  if (!run.PortOpened) return Outcome::PortNotOpened;
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
