// SPDX-License-Identifier: GPL-2.0-or-later
// tavrino: the desktop program. One thread: every command runs on the window's thread and
// keeps the window alive by pumping its messages while it waits on the serial line.
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "frontend/Clock.h"
#include "frontend/StatusLog.h"
#include "run/Core.h"
#include "serial/SystemSerial.h"
#include "state/RunReport.h"
#include "ui/FormFlash.h"
#include "ui/Modals.h"
#include "ui/Start.h"
#include "ui/Usage.h"

int main(int argc, char** argv) {
  // Answered before the window system is asked for anything: they need no display.
  if (argc == 2) {
    const std::string only = argv[1];
    if (only == "--help" || only == "-h") {
      std::cout << tavrino::ui::DesktopUsageText();
      return 0;
    }
    if (only == "--version") {
      std::cout << tavrino::ui::DesktopVersionText();
      return 0;
    }
  }
  QApplication app(argc, argv);  // takes its own options (-platform, ...) out of argv
  // The arguments as the system gave them: a path is used byte for byte.
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

  tavrino::SteadyClock clock;
  const auto backend = tavrino::MakeSystemSerialBackend();
  tavrino::StatusLog log;
  tavrino::ui::WidgetModals modals;
  tavrino::ui::TFormFlash form(log, modals);
  tavrino::Core core(*backend, clock, form, log);
  form.Attach(core);
  // Every status line also on standard output, so that `tavrino FILE 1` leaves a trace.
  form.SetEcho(&std::cout, &std::cerr);
  tavrino::os::Failure noReports;
  form.SetRunReportDir(tavrino::RunReportDir(noReports));

  const tavrino::ui::StartResult start = tavrino::ui::Start(form, args);
  if (start.quit) return start.exitCode;
  return QApplication::exec();
}
