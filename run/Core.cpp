#include "run/Core.h"

#include "frontend/Texts.h"

namespace tavrino {

namespace {

void SetSwitches(UpdateRun& run, bool on) {
  run.ComparePrograms = on;
  run.WriteFlash = on;
  run.ShowProgrammingError = on;
}

}  // namespace

Outcome Core::Program(bool unattended) {
  SetSwitches(run, true);
  const Outcome outcome = run.QZ17universal(unattended);
  port.ClosePort();
  return outcome;
}

Outcome Core::Test() {
  SetSwitches(run, false);
  const Outcome outcome = run.QZ17universal(false);
  port.ClosePort();
  return outcome;
}

Outcome Core::Backup(const std::string& file) {
  const Outcome outcome = run.SettingsBackup(file);
  port.ClosePort();
  return outcome;
}

Outcome Core::Restart() {
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
