// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/Start.h"

#include <QToolButton>
#include <ostream>

#include "frontend/Outcome.h"
#include "run/Core.h"
#include "serial/PortArgument.h"
#include "ui/FormFlash.h"
#include "ui/StatusLogWidget.h"

namespace tavrino::ui {

StartResult Start(TFormFlash& form, const std::vector<std::string>& args) {
  Core& core = *form.core();
  StartResult result;
  form.statusView->Initialize();
  if (args.size() == 1) {
    form.AllDisable();
    form.show();
    // The whole path: cutting it short could name, and open, another file.
    RunRequest request;
    request.file = args[0];
    request.checkSettings = form.CheckSettingsAfterWriting();
    core.Use(request);
    form.RunWork(nullptr, [](Core& c) { return c.LoadFile(); });
    form.AllEnable();
  } else if (args.size() == 2) {
    const uint16_t port = PortNumberArgument(args[1]);
    if (port == 0) {
      form.show();  // stays as created: no file, no box, no message
      return result;
    }
    RunRequest request;
    request.file = args[0];
    request.port = port;
    request.tryFastSpeeds = true;
    request.unattended = true;
    request.checkSettings = form.CheckSettingsAfterWriting();
    core.Use(request);
    form.AllDisable();
    form.show();
    const Outcome outcome = form.RunWork("Program", [](Core& c) { return c.Program(); });
    const bool portStopped =
        outcome == Outcome::PortNotOpened && core.LastPortFailure().error == SerialError::LineGone;
    form.AllEnable();
    // The last line of standard output, as tavrino-cli ends a command.
    if (std::ostream* out = form.Echo()) *out << ClosingLine(outcome, portStopped) << std::endl;
    // The caller learns whether the panel was updated, not just that the program ran.
    result.quit = true;
    result.exitCode = ExitCode(outcome);
  } else {
    form.AllDisable();
    form.Bstop->setEnabled(false);  // nothing to stop while the About box is open
    form.show();
    form.AboutClick();
    form.AllEnable();
  }
  if (form.QuitRequested()) result.quit = true;
  return result;
}

}  // namespace tavrino::ui
