// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The main window: five picture buttons, the menu, the version label, the status display
// and the status bar; the command handlers; and the front end the core talks to.
#include <QMainWindow>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "frontend/FrontEnd.h"
#include "frontend/Outcome.h"
#include "frontend/StatusLines.h"
#include "frontend/StatusLog.h"
#include "run/CommandSession.h"

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QToolButton;
class QUrl;

namespace tavrino {
class Core;
}

namespace tavrino::ui {

class Modals;
class TFormFlashRS;
class TFormWait;
class StatusLogWidget;

class TFormFlash : public QMainWindow, public FrontEnd {
  Q_OBJECT

 public:
  // The window draws log and asks everything modal through modals. It needs a Core before
  // any command runs: the Core is built over this window (its FrontEnd), then attached.
  TFormFlash(StatusLog& log, Modals& modals, QWidget* parent = nullptr);
  ~TFormFlash() override;
  // Attaching hands the core the remembered preference.
  void Attach(Core& core);
  Core* core() const { return core_; }
  // Every finished status line also goes to out, UTF-8, one a line (standard output), so
  // that an unattended run leaves a trace in a terminal or a script; what a line had no
  // room for, and where the run report went, to err (standard error). Null: nowhere.
  void SetEcho(std::ostream* out, std::ostream* err = nullptr) {
    echo_ = out;
    err_ = err;
  }
  std::ostream* Echo() const { return echo_; }
  // Where Program, Test and Restart keep their run reports; empty: keep none.
  void SetRunReportDir(const std::filesystem::path& dir) { reportDir_ = dir; }
  const std::filesystem::path& RunReportDir() const { return reportDir_; }
  // The report the last command wrote; empty when it wrote none.
  const std::filesystem::path& LastRunReport() const { return lastReport_; }

  // One command's work (busy state is the caller's): the run report when command names one
  // ("Program", "Test", "Restart"), a status line when a port did not open, the port then
  // forgotten, and the last status line handed on.
  Outcome RunWork(const char* command, const std::function<Outcome(Core&)>& work);

  // FrontEnd
  bool AskUser(const std::string& text, bool infoOnly) override;
  void ProcessMessages() override;
  void ShowFile(const std::string& path) override;
  void ShowFileVersion(const std::string& text) override;
  void ShowPortSpeed(const std::string& text) override;
  void ShowWaitBox(bool visible) override;
  bool ChooseFirmwareFile(std::string& path) override;
  bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                        bool& tryFastSpeeds) override;
  void RequestQuit() override;
  void LineInFull(const std::string& text) override;

  // Busy state: menus and the four command buttons off, Stop on, StopRequested cleared.
  void AllDisable();
  // Idle state: commands on, Stop off; a stopped command forgets the port.
  void AllEnable();

  // The commands. Each runs to its end before it returns; none starts while one runs.
  void OpenClick();
  void ProgramClick();
  void TestClick();
  void RestartClick();
  void KoniecClick();
  void AboutClick();
  void StopClick();
  // Help menu: opens the folder of the run reports in the desktop's file manager; where
  // none can be started, a box says so and shows the folder's path.
  void RunReportsClick();
  // Programming menu: a settings backup file chosen, then written back into the panel.
  void RestoreClick();
  // Programming menu: the checkable item, remembered between sessions.
  void CheckSettingsToggled(bool on);
  bool CheckSettingsAfterWriting() const;
  // How a folder is shown in the file manager; false when none could be started.
  // QDesktopServices::openUrl unless a test puts in its own.
  std::function<bool(const QUrl& folder)> openFolder;

  // Busy: a command or the start-up work runs (the menus are off).
  bool Busy() const;
  bool QuitRequested() const { return quitRequested_; }
  StatusLog& Log() { return log_; }
  // The text of status bar panel 0 or 1 in full. A path too long for panel 0 shows with
  // its middle left out, so that the file's name stays in sight; the hint holds it whole.
  QString StatusPanelText(int panel) const;

  QToolButton* Bopen;
  QToolButton* Bprogram;
  QToolButton* Btest;
  QToolButton* Brestart;
  QToolButton* Bstop;
  QLabel* versionLabel;
  StatusLogWidget* statusView;
  QMenu* programmingMenu;
  QAction* openAction;
  QAction* programAction;
  QAction* testAction;
  QAction* restartAction;
  QAction* restoreSettingsAction;
  QAction* stopAction;
  QAction* checkSettingsAction;
  QAction* exitAction;
  QMenu* helpMenu;
  QAction* aboutAction;
  QAction* runReportsAction;
  QFileDialog* openDialog;
  QFileDialog* restoreDialog;
  TFormFlashRS* FormFlashRS;
  TFormWait* FormWait;

 protected:
  void closeEvent(QCloseEvent* event) override;   // FormClose
  void keyPressEvent(QKeyEvent* event) override;  // FormKeyPress

 private:
  void FormCreate();
  void BuildMenu();
  void BuildButtons(QWidget* area);
  void BuildStatusBar();
  void SetCommandsEnabled(bool enabled);
  // Shows text in status bar panel 0 or 1; see StatusPanelText.
  void SetPanel(int panel, const QString& text);
  // Busy state around one command; refuses to start while another runs.
  void RunCommand(const char* command, const std::function<Outcome(Core&)>& work);
  void OnStatusLine(const std::string& line);
  void OnLineInFull(const std::string& text);

  StatusLog& log_;
  Modals& modals_;
  Core* core_ = nullptr;
  std::array<QLabel*, 2> panels_{};
  std::array<QString, 2> panelTexts_;  // in full; panel 0 may show shortened
  bool quitRequested_ = false;
  std::unique_ptr<StatusLineTap> lines_;
  std::ostream* echo_ = nullptr;
  std::ostream* err_ = nullptr;
  std::filesystem::path reportDir_;
  std::filesystem::path lastReport_;
  CommandSession session_{"tavrino"};
};

// The hint of a picture button: its menu text up to the tab, with every "&" deleted.
QString HintOf(const QString& menuText);
// "Tavrino 4.06 2006-06-03" CR "FLASH updating software for QZ-17", the version and date
// those of the build (tavrino/BuildInfo.h)
std::string AboutText();

}  // namespace tavrino::ui
