// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The desktop window wired to the real core and an in-process simulated panel on a fake
// clock; every box and dialog is answered by the test, never by a person.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "firmware/FirmwareFixture.h"
#include "firmware/Packer.h"
#include "frontend/Clock.h"
#include "frontend/StatusLog.h"
#include "run/Core.h"
#include "sim/InProcessLine.h"
#include "sim/SimulatedPanel.h"
#include "support/CoreSeam.h"
#include "support/PanelRig.h"
#include "ui/FormFlash.h"
#include "ui/Modals.h"
#include "ui/StatusLogWidget.h"

namespace tavrino::test {

// Boxes and dialogs answered and recorded by a ScriptedFrontEnd's script.
class ScriptedModals : public ui::Modals {
 public:
  // Answers, choices and the record of every box and dialog (its pump and window texts are
  // not used here: the window does those itself).
  ScriptedFrontEnd script;
  // Runs while a box is open, before it is answered, e.g. to look at the window.
  std::function<void(const std::string& text)> whileOpen;
  // The Fast RS state each port dialog was opened with.
  std::vector<bool> portDialogFastRSIn;

  bool AskUser(QWidget*, const std::string& text, bool infoOnly) override {
    if (whileOpen) whileOpen(text);
    return script.AskUser(text, infoOnly);
  }
  // Runs when the port dialog would open, with the dialog as the window prepared it.
  std::function<void(ui::TFormFlashRS& dialog, const std::array<bool, 4>& available)>
      portDialogOpen;

  bool ChoosePort(ui::TFormFlashRS& dialog, const std::array<bool, 4>& available, uint16_t& port,
                  bool& tryFastSpeeds) override {
    if (portDialogOpen) portDialogOpen(dialog, available);
    portDialogFastRSIn.push_back(tryFastSpeeds);
    return script.ChoosePortDialog(available, port, tryFastSpeeds);
  }
  bool ChooseFile(QFileDialog&, std::string& path) override {
    return script.ChooseFirmwareFile(path);
  }
};

// A one-half .17 file stamped with version (e.g. "1.04.02:1") at name under dir, its folders
// made as needed.
inline std::string WriteFirmware(const TempDir& dir, const std::string& name,
                                 const std::string& version) {
  VersionStamp stamp;
  std::string error;
  EXPECT_TRUE(ParseVersionStamp(version, stamp, error)) << error;
  std::filesystem::create_directories((dir.path() / name).parent_path());
  return dir.Write(name, Pack({PlainHalf(1)}, &stamp));
}

struct WindowRig {
  // The panel holds an older program of the same settings format, with its settings.
  explicit WindowRig(const sim::PanelConfig& config = {})
      : clock(1000),
        time(clock),
        panel(config),
        line(panel, time),
        form(log, modals),
        core(line, clock, form, log) {
    panel.SynthesizeProgram("1.04.01", 1);
    panel.FillSettings(104);
    form.Attach(core);
    form.statusView->Initialize();
  }

  // The log as plain lines, scrolled-off lines included.
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const auto& l : log.History()) out.push_back(StatusLog::Trimmed(l));
    return out;
  }
  // Ctrl+S as the keyboard delivers it, served at the command's next pump.
  void PostCtrlS() {
    QCoreApplication::postEvent(
        &form, new QKeyEvent(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier, QString(QChar(19))));
  }
  // What the core holds inside: the file, the port chosen, the stop flag.
  Subsystems& parts() { return CoreSeam::Parts(core); }
  // Runs probe at the running command's next pump.
  void AtNextPump(std::function<void()> probe) {
    QMetaObject::invokeMethod(&form, std::move(probe), Qt::QueuedConnection);
  }

  FakeClock clock;
  FakeTime time;
  sim::SimulatedPanel panel;
  sim::InProcessLine line;
  StatusLog log;
  ScriptedModals modals;
  ui::TFormFlash form;
  Core core;
};

}  // namespace tavrino::test
