#include "ui/Start.h"

#include <QToolButton>

#include "frontend/Outcome.h"
#include "run/Core.h"
#include "ui/FormFlash.h"
#include "ui/KTStatus.h"

namespace tavrino::ui {

uint16_t PortArgument(const std::string& argument) {
  if (argument.size() == 1 && argument[0] >= '1' && argument[0] <= '4') {
    return static_cast<uint16_t>(argument[0] - '0');
  }
  return 0;
}

StartResult Start(TFormFlash& form, const std::vector<std::string>& args) {
  Core& core = *form.core();
  StartResult result;
  form.Info1->KTinit();
  if (args.size() == 1) {
    form.AllDisable();
    form.show();
    // The whole path: cutting it short could name, and open, another file.
    core.file.FirmwareFileName = args[0];
    core.file.OpenFile(false);
    form.AllEnable();
  } else if (args.size() == 2) {
    const uint16_t port = PortArgument(args[1]);
    if (port == 0) {
      form.show();  // stays as created: no file, no box, no message
      return result;
    }
    core.ports.PortNumber = port;
    form.AllDisable();
    form.show();
    core.ports.FastRS = true;
    core.file.FirmwareFileName = args[0];
    const Outcome outcome = core.Program(true);
    form.AllEnable();
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
