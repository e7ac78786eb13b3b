// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The small "Wait..." box shown while the panel restarts. It does not block the caller, and
// the person cannot close it: only the program hides it when the wait is over.
#include <QDialog>

class QLabel;

namespace tavrino::ui {

class TFormWait : public QDialog {
  Q_OBJECT

 public:
  explicit TFormWait(QWidget* parent = nullptr);

  // Shows the box without making it modal, centred on its owner, or hides it.
  void ShowWait(bool visible);

  QLabel* waitText;

 public slots:
  // Esc would end a dialog: the wait box stays.
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override;
};

}  // namespace tavrino::ui
