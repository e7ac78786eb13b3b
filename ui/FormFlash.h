#pragma once
// The main window: five picture buttons, the menu, the version label, the status display
// and the status bar; the command handlers; and the front end the core talks to.
#include <QMainWindow>
#include <array>
#include <string>

#include "frontend/FrontEnd.h"
#include "frontend/StatusLog.h"

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QToolButton;

namespace tavrino {
struct Core;
}

namespace tavrino::ui {

class Modals;
class TFormFlashRS;
class TFormWait;
class TKTStatus;

class TFormFlash : public QMainWindow, public FrontEnd {
  Q_OBJECT

 public:
  // The window draws log and asks everything modal through modals. It needs a Core before
  // any command runs: the Core is built over this window (its FrontEnd), then attached.
  TFormFlash(StatusLog& log, Modals& modals, QWidget* parent = nullptr);
  ~TFormFlash() override;
  void Attach(Core& core) { core_ = &core; }
  Core* core() const { return core_; }

  // FrontEnd
  bool AskUser(const std::string& text, bool infoOnly) override;
  void ProcessMessages() override;
  void SetStatusPanel(int panel, const std::string& text) override;
  void SetVersionLabel(const std::string& text) override;
  void ShowWaitBox(bool visible) override;
  bool ChooseFirmwareFile(std::string& path) override;
  bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                        bool& fastRS) override;
  void RequestQuit() override;

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
  QLabel* Lver;
  TKTStatus* Info1;
  QMenu* Programowanie1;
  QAction* Open2;
  QAction* Program2;
  QAction* Test2;
  QAction* Restart2;
  QAction* Stop2;
  QAction* Koniec2;
  QMenu* Pomoc1;
  QAction* Oprogramie2;
  QFileDialog* OpenDialog1;
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
  template <class Work>
  void RunCommand(Work work);

  StatusLog& log_;
  Modals& modals_;
  Core* core_ = nullptr;
  std::array<QLabel*, 2> panels_{};
  std::array<QString, 2> panelTexts_;  // in full; panel 0 may show shortened
  bool quitRequested_ = false;
};

// The hint of a picture button: its menu text up to the tab, with every "&" deleted.
QString HintOf(const QString& menuText);
// "Tavrino 4.06 2006-06-03" CR "FLASH updating software for QZ-17", the version and date
// those of the build (tavrino/BuildInfo.h)
std::string AboutText();

}  // namespace tavrino::ui
