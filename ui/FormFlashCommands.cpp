// The main window's commands, its busy and idle states, and the front end the core uses.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include "frontend/Cp1250.h"
#include "run/Core.h"
#include "ui/FormFlash.h"
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
  for (QAction* item : {Open2, Program2, Test2, Restart2, Koniec2, Oprogramie2}) {
    item->setEnabled(enabled);
  }
  Programowanie1->setEnabled(enabled);
  Pomoc1->setEnabled(enabled);
  for (QToolButton* button : {Bopen, Bprogram, Btest, Brestart}) button->setEnabled(enabled);
  Bstop->setEnabled(!enabled);
}

void TFormFlash::AllDisable() {
  SetCommandsEnabled(false);
  if (core_ != nullptr) core_->host.ClearStop();
}

void TFormFlash::AllEnable() {
  SetCommandsEnabled(true);
  if (core_ == nullptr) return;
  uint16_t& port = core_->ports.PortNumber;
  // After a Stop the next command asks for the port again.
  if (core_->host.Stopped()) port = 0;
  SetPanel(1, port >= 1 && port <= 4 ? QStringLiteral(" COM%1").arg(port) : QString());
}

bool TFormFlash::Busy() const {
  return !Programowanie1->isEnabled();
}

template <class Work>
void TFormFlash::RunCommand(Work work) {
  // Disabled widgets deliver no commands; this also turns away a queued click or shortcut.
  if (Busy() || core_ == nullptr) return;
  AllDisable();
  work(*core_);
  AllEnable();
  if (quitRequested_) close();
}

void TFormFlash::OpenClick() {
  RunCommand([](Core& core) { core.file.OpenFile(true); });
}

void TFormFlash::ProgramClick() {
  RunCommand([](Core& core) { core.Program(false); });
}

void TFormFlash::TestClick() {
  RunCommand([](Core& core) { core.Test(); });
}

void TFormFlash::RestartClick() {
  RunCommand([](Core& core) { core.Restart(); });
}

void TFormFlash::KoniecClick() {
  close();
}

void TFormFlash::AboutClick() {
  modals_.AskUser(this, AboutText(), true);
}

void TFormFlash::StopClick() {
  // Only the flag: the running command notices it at its next wait and winds down.
  if (modals_.AskUser(this, "Abort ?", false) && core_ != nullptr) core_->host.RequestStop();
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

void TFormFlash::SetStatusPanel(int panel, const std::string& text) {
  if (panel == 0) {
    // Panel 0 holds the file's path: the operating system's string, not a code-page text.
    SetPanel(0, QFile::decodeName(text.c_str()));
  } else if (panel == 1) {
    SetPanel(1, Decoded(text));
  }
}

void TFormFlash::SetVersionLabel(const std::string& text) {
  Lver->setText(Decoded(text));
}

void TFormFlash::ShowWaitBox(bool visible) {
  FormWait->ShowWait(visible);
}

bool TFormFlash::ChooseFirmwareFile(std::string& path) {
  return modals_.ChooseFile(*OpenDialog1, path);
}

bool TFormFlash::ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                                  bool& fastRS) {
  return modals_.ChoosePort(*FormFlashRS, available, port, fastRS);
}

void TFormFlash::RequestQuit() {
  // The window closes once the running command has ended.
  quitRequested_ = true;
  if (!Busy()) close();
}

}  // namespace tavrino::ui
