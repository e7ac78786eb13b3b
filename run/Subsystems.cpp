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

void Subsystems::Use(const RunRequest& request) {
  ports.PortNumber = request.port;
  // A device given by its path stands in for COM1, for this command only.
  if (!request.portDevice.empty()) {
    port.MapPort(1, request.portDevice);
    ports.PortNumber = 1;
  }
  ports.FastRS = request.fastLink;
  file.FirmwareFileName = request.file;
  starterUpdate.UpdatersFolder = request.updaters;
}

Outcome Subsystems::Program(bool unattended) {
  SetSwitches(run, true);
  const Outcome outcome = run.QZ17universal(unattended);
  port.ClosePort();
  return outcome;
}

Outcome Subsystems::Test() {
  SetSwitches(run, false);
  const Outcome outcome = run.QZ17universal(false);
  port.ClosePort();
  return outcome;
}

Outcome Subsystems::Backup(const std::string& file) {
  const Outcome outcome = run.SettingsBackup(file);
  port.ClosePort();
  return outcome;
}

Outcome Subsystems::Restart() {
  run.PortOpened = ports.ChoosePort();
  if (!run.PortOpened) return Outcome::PortNotOpened;
  host.log.KTadd("Restarting panel");
  const bool restarted = starter.RestartPanel();
  port.ClosePort();
  // A stopped restart leaves its line open: whether the panel took it is not known.
  if (host.Stopped()) return Outcome::Stopped;
  host.log.KTstatus(restarted ? texts::kOk : texts::kBlad, texts::kStatusWidth);
  return restarted ? Outcome::RestartOk : Outcome::NoConnection;
}

}  // namespace tavrino
