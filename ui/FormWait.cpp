// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/FormWait.h"

#include <QCloseEvent>
#include <QLabel>

namespace tavrino::ui {

TFormWait::TFormWait(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormWait"));
  setWindowTitle(QStringLiteral("Information"));
  // A fixed box: the window manager offers neither minimise nor maximise (nor close).
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint);
  setFixedSize(234, 74);
  setModal(false);
  waitText = new QLabel(QStringLiteral("Wait..."), this);
  waitText->setGeometry(16, 24, 201, 25);
  waitText->setAlignment(Qt::AlignCenter);
  QFont font = waitText->font();
  font.setPixelSize(13);
  waitText->setFont(font);
}

void TFormWait::ShowWait(bool visible) {
  if (!visible) {
    hide();
    return;
  }
  if (QWidget* owner = parentWidget()) {
    move(owner->geometry().center() - rect().center());
  }
  show();
  raise();
}

void TFormWait::closeEvent(QCloseEvent* event) {
  event->ignore();
}

}  // namespace tavrino::ui
