// SPDX-License-Identifier: GPL-2.0-or-later
// The main window's commands, its busy and idle states, and the front end the core uses.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QUrl>

#include "frontend/Cp1250.h"
#include "frontend/Texts.h"
#include "run/CommandSession.h"
#include "run/Core.h"
#include "serial/PortDiscovery.h"
#include "ui/FormFlash.h"
#include "ui/FormFlashRS.h"
#include "ui/FormWait.h"
#include "ui/Modals.h"

namespace tavrino::ui {
namespace {

constexpr char kCtrlS = 19;

QString Decoded(const std::string& text) {
  return QString::fromStdString(Cp1250ToUtf8(text));
}

}  // namespace

void TFormFlash::SetCommandsEnabled(bool enabled) {
  // The menus and every item under them, so that no shortcut reaches a command either.
  for (QAction* item : {openAction, programAction, testAction, restartAction, restoreSettingsAction,
                        checkSettingsAction, exitAction, aboutAction}) {
    item->setEnabled(enabled);
  }
  programmingMenu->setEnabled(enabled);
  helpMenu->setEnabled(enabled);
  for (QToolButton* button : {Bopen, Bprogram, Btest, Brestart}) button->setEnabled(enabled);
  Bstop->setEnabled(!enabled);
}

void TFormFlash::AllDisable() {
  SetCommandsEnabled(false);
  if (core_ != nullptr) core_->ClearStop();
}

void TFormFlash::AllEnable() {
  SetCommandsEnabled(true);
  // Idle, the title is the program's name: the last step's label (or a line without a
  // status, such as "Still loaded: ...") would read as a title fragment.
  setWindowTitle(QStringLiteral("Tavrino"));
  if (core_ == nullptr) return;
  // After a Stop the next command asks for the port again.
  if (core_->Stopped()) core_->ForgetPort();
  const uint16_t port = core_->PortNumber();
  SetPanel(1, port >= 1 && port <= 4 ? QStringLiteral(" COM%1").arg(port) : QString());
}

bool TFormFlash::Busy() const {
  return !programmingMenu->isEnabled();
}

void TFormFlash::RunCommand(const char* command, const std::function<Outcome(Core&)>& work) {
  // Disabled widgets deliver no commands; this also turns away a queued click or shortcut.
  if (Busy() || core_ == nullptr) return;
  AllDisable();
  RunWork(command, work);
  AllEnable();
  if (quitRequested_) close();
}

Outcome TFormFlash::RunWork(const char* command, const std::function<Outcome(Core&)>& work) {
  Core& core = *core_;
  session_.Begin(core, command);
  const Outcome outcome = work(core);
  // A port that did not open says why, unless the person cancelled the dialog; it is
  // forgotten, so that the next command asks for a port again.
  const PortTrouble port = session_.Port(core, outcome);
  std::string label;
  std::string reason;
  if (port.StatusLine(core.PortNumber(), log_.ColumnCount(), label, reason)) {
    log_.AddLine(label);
    log_.SetStatus(reason, texts::kStatusWidth);
  }
  lines_->Flush();
  const ReportSaved saved = session_.Save(core, outcome, reportDir_, ExitCode(outcome));
  lastReport_ = saved.written;
  const std::string told = saved.Told(false);
  if (!told.empty()) {
    // As tavrino-cli tells it: on standard error, before the closing line.
    if (echo_ != nullptr) *echo_ << std::flush;
    if (err_ != nullptr) *err_ << "tavrino: " << told << std::endl;
  }
  if (port.ForgetPort()) core.ForgetPort();
  return outcome;
}

void TFormFlash::OnStatusLine(const std::string& line) {
  if (echo_ != nullptr) *echo_ << Cp1250ToUtf8(line) << std::endl;
  session_.Line(line);
}

void TFormFlash::LineInFull(const std::string& text) {
  lines_->InFull(text);
}

void TFormFlash::OnLineInFull(const std::string& text) {
  if (echo_ != nullptr) *echo_ << std::flush;
  if (err_ != nullptr) *err_ << "tavrino: " << text << std::endl;
  session_.InFull(text);
}

void TFormFlash::OpenClick() {
  RunCommand(nullptr, [](Core& core) { return core.ChooseFile(); });
}

void TFormFlash::ProgramClick() {
  RunCommand("Program", [](Core& core) { return core.Program(); });
}

void TFormFlash::TestClick() {
  RunCommand("Test", [](Core& core) { return core.Test(); });
}

void TFormFlash::RestartClick() {
  RunCommand("Restart", [](Core& core) { return core.Restart(); });
}

void TFormFlash::RestoreClick() {
  if (Busy() || core_ == nullptr) return;
  std::string path;
  if (!modals_.ChooseFile(*restoreDialog, path)) return;
  RunCommand("Restore", [path](Core& core) { return core.Restore(path); });
}

void TFormFlash::KoniecClick() {
  close();
}

void TFormFlash::AboutClick() {
  modals_.AskUser(this, AboutText(), true);
}

void TFormFlash::RunReportsClick() {
  if (reportDir_.empty()) {
    modals_.AskUser(this, "No run reports are kept: there is no folder for them.", true);
    return;
  }
  // The folder may not be there before the first report.
  const os::Failure failed = os::MakePrivateDir(reportDir_);
  if (!failed.empty()) {
    modals_.AskUser(this, failed, true);
    return;
  }
  const QString folder = QFile::decodeName(reportDir_.c_str());
  const bool opened = openFolder ? openFolder(QUrl::fromLocalFile(folder))
                                 : QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
  if (opened) return;
  // Nothing shows the folder (no file manager, or none that could start): the person must
  // still learn where the reports are.
  modals_.AskUser(this,
                  "No file manager could be started to show the run reports.\n\n"
                  "They are in the folder\n" +
                      reportDir_.string(),
                  true);
}

void TFormFlash::StopClick() {
  // Only the flag: the running command notices it at its next wait and winds down.
  if (modals_.AskUser(this, "Abort ?", false) && core_ != nullptr) core_->RequestStop();
}

void TFormFlash::closeEvent(QCloseEvent* event) {
  // While a command (or the start-up work) runs, the window stays: it would pull the
  // program out from under the update.
  if (Busy()) {
    event->ignore();
    return;
  }
  FormWait->hide();
  event->accept();
}

void TFormFlash::keyPressEvent(QKeyEvent* event) {
  const bool ctrlS = event->text() == QString(QChar(kCtrlS)) ||
                     (event->key() == Qt::Key_S && (event->modifiers() & Qt::ControlModifier));
  if (ctrlS) {
    if (Bstop->isEnabled()) StopClick();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

bool TFormFlash::AskUser(const std::string& text, bool infoOnly) {
  return modals_.AskUser(this, text, infoOnly);
}

void TFormFlash::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TFormFlash::ShowFile(const std::string& path) {
  // The path is the operating system's string, not a code-page text; a blank keeps it off
  // the panel's edge.
  SetPanel(0, path.empty() ? QString() : QStringLiteral(" ") + QFile::decodeName(path.c_str()));
}

void TFormFlash::ShowPortSpeed(const std::string& text) {
  SetPanel(1, Decoded(text));
}

void TFormFlash::ShowFileVersion(const std::string& text) {
  versionLabel->setText(Decoded(text));
}

void TFormFlash::ShowWaitBox(bool visible) {
  FormWait->ShowWait(visible);
}

bool TFormFlash::ChooseFirmwareFile(std::string& path) {
  return modals_.ChooseFile(*openDialog, path);
}

bool TFormFlash::ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                                  bool& tryFastSpeeds) {
  std::array<PortDetail, 4> details;
  for (uint16_t n = 1; n <= 4; ++n) {
    const std::string device = core_->DeviceOf(n);
    const SerialBackend::OpenError error = core_->LastProbe(n);
    const std::string group = error == SerialBackend::OpenError::NoAccess
                                  ? ProbeSerialDevice(device).group
                                  : std::string();
    details[n - 1] = {
        QFile::decodeName(device.c_str()),
        available[n - 1] ? QString() : QString::fromStdString(UnavailableReason(error, group))};
  }
  const AdapterOffer adapter = OfferAdapter(core_->Port(), available);
  PortOffer offer{adapter.com, QFile::decodeName(adapter.device.c_str()),
                  QFile::decodeName(adapter.name.c_str())};
  // Taking the offer maps the port for this session only: nothing is saved.
  auto take = [this](uint16_t n, const QString& device) {
    const std::string path = QFile::encodeName(device).toStdString();
    const SerialError error = core_->TryDevice(n, path);
    const std::string group =
        error == SerialError::NoAccess ? ProbeSerialDevice(path).group : std::string();
    return PortDetail{device, error == SerialError::None
                                  ? QString()
                                  : QString::fromStdString(UnavailableReason(error, group))};
  };
  FormFlashRS->SetDetails(details, offer, take);
  const bool chosen = modals_.ChoosePort(*FormFlashRS, available, port, tryFastSpeeds);
  if (!chosen) session_.PortDialogCancelled();
  return chosen;
}

void TFormFlash::RequestQuit() {
  // The window closes once the running command has ended.
  quitRequested_ = true;
  if (!Busy()) close();
}

}  // namespace tavrino::ui
