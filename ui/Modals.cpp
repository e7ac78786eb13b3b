// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/Modals.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

#include "frontend/Cp1250.h"
#include "ui/FormFlashRS.h"

namespace tavrino::ui {
namespace {

// A box sizes itself to its text and buttons, but its title is drawn by the window manager
// beside the frame's icon and buttons: after a short text ("Abort ?", "Updating ok.") the
// title came out cut ("In... on"). The frame cannot be measured from here, so leave room for
// the title in bold and for the icon and three buttons, about a title-bar height each, with
// a margin of that size on either side.
void LeaveRoomForTitle(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  QFont bold = box.font();
  bold.setBold(true);
  const int bar = box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
  const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + 6 * bar;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed), grid->rowCount(),
                0, 1, grid->columnCount());
}

}  // namespace

void HideCompletions(QWidget& dialog) {
  // Enter in the file name field ends the dialog while its completion list may still be up;
  // the list is a window of its own and would stay on screen without its dialog.
  for (QCompleter* completer : dialog.findChildren<QCompleter*>()) {
    if (completer->popup() != nullptr) completer->popup()->hide();
  }
}

QString BoxText(const std::string& text) {
  // The callers break lines with CR or with LF; a CR LF pair is one break, not two.
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lines += text[i];
    }
  }
  return QString::fromStdString(Cp1250ToUtf8(lines));
}

std::unique_ptr<QMessageBox> MakeAskBox(QWidget* parent, const std::string& text, bool infoOnly) {
  auto box = std::make_unique<QMessageBox>(parent);
  // A fixed box: the window manager offers neither minimise nor maximise.
  box->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                      Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  box->setWindowModality(Qt::ApplicationModal);
  box->setTextFormat(Qt::PlainText);
  box->setText(BoxText(text));
  if (infoOnly) {
    box->setWindowTitle(QStringLiteral("Information"));
    box->setIcon(QMessageBox::Information);
    QPushButton* ok = box->addButton(QStringLiteral("&Ok"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
  } else {
    box->setWindowTitle(QStringLiteral("Question"));
    box->setIcon(QMessageBox::Question);
    QPushButton* yes = box->addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton* no = box->addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box->setDefaultButton(yes);
    // Escape and closing the box both count as "&No".
    box->setEscapeButton(no);
  }
  LeaveRoomForTitle(*box);
  return box;
}

bool AskBoxAnswer(QMessageBox& box, bool infoOnly) {
  if (infoOnly) return false;
  QAbstractButton* clicked = box.clickedButton();
  return clicked != nullptr && box.buttonRole(clicked) == QMessageBox::YesRole;
}

bool WidgetModals::AskUser(QWidget* parent, const std::string& text, bool infoOnly) {
  auto box = MakeAskBox(parent, text, infoOnly);
  box->exec();
  return AskBoxAnswer(*box, infoOnly);
}

bool WidgetModals::ChoosePort(TFormFlashRS& dialog, const std::array<bool, 4>& available,
                              uint16_t& port, bool& tryFastSpeeds) {
  return dialog.Choose(available, port, tryFastSpeeds);
}

bool WidgetModals::ChooseFile(QFileDialog& dialog, std::string& path) {
  if (!path.empty()) dialog.selectFile(QFile::decodeName(path.c_str()));
  const int result = dialog.exec();
  HideCompletions(dialog);
  if (result != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  path = QFile::encodeName(chosen.first()).toStdString();
  return true;
}

}  // namespace tavrino::ui
