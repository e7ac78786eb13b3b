// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Every modal thing the desktop program shows goes through one Modals object: the question
// and information boxes, the About box, the port dialog and the open-file dialog. The
// program uses WidgetModals (a person answers); tests put in their own answers instead.
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QFileDialog;
class QMessageBox;
class QWidget;

namespace tavrino::ui {

class TFormFlashRS;

class Modals {
 public:
  virtual ~Modals() = default;
  // infoOnly: "Information" box with "&Ok", always false. Otherwise a "Question" box with
  // "&Yes"/"&No", true only for "&Yes". text: single-byte Windows-1250, CR or LF break lines.
  virtual bool AskUser(QWidget* parent, const std::string& text, bool infoOnly) = 0;
  // The port dialog; see TFormFlashRS::Choose.
  virtual bool ChoosePort(TFormFlashRS& dialog, const std::array<bool, 4>& available,
                          uint16_t& port, bool& tryFastSpeeds) = 0;
  // The open-file dialog, pre-filled with path (an operating-system path); false when cancelled.
  virtual bool ChooseFile(QFileDialog& dialog, std::string& path) = 0;
};

// The real thing: modal widgets that wait for a person.
class WidgetModals : public Modals {
 public:
  bool AskUser(QWidget* parent, const std::string& text, bool infoOnly) override;
  bool ChoosePort(TFormFlashRS& dialog, const std::array<bool, 4>& available, uint16_t& port,
                  bool& tryFastSpeeds) override;
  bool ChooseFile(QFileDialog& dialog, std::string& path) override;
};

// Hides the completion lists of a file dialog's name field (after the dialog has ended).
void HideCompletions(QWidget& dialog);

// A box's text for display: decoded from Windows-1250, every CR LF, lone CR or lone LF one
// line break.
QString BoxText(const std::string& text);

// The box AskUser shows, ready to exec(): title, icon, buttons, default and escape buttons.
std::unique_ptr<QMessageBox> MakeAskBox(QWidget* parent, const std::string& text, bool infoOnly);
// What the box's answer means to AskUser: true only when a question box ended with "&Yes".
bool AskBoxAnswer(QMessageBox& box, bool infoOnly);

}  // namespace tavrino::ui
