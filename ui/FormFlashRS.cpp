#include "ui/FormFlashRS.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

namespace tavrino::ui {

TFormFlashRS::TFormFlashRS(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormFlashRS"));
  setWindowTitle(QStringLiteral("Choose port"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(321, 129);
  setModal(true);

  GroupBox1 = new QGroupBox(this);
  GroupBox1->setGeometry(16, 8, 73, 113);
  for (int n = 0; n < 4; ++n) {
    RBcom[n] = new QRadioButton(QStringLiteral("COM&%1").arg(n + 1), GroupBox1);
    RBcom[n]->setObjectName(QStringLiteral("RBcom%1").arg(n + 1));
    RBcom[n]->setGeometry(8, 16 + 24 * n, 57, 17);
    // Clicked, not toggled: the dialog's own clearing of the buttons must not enable OK.
    connect(RBcom[n], &QRadioButton::clicked, this, &TFormFlashRS::RS_selected);
  }
  CBfastRS = new QCheckBox(QStringLiteral("&Fast RS"), this);
  CBfastRS->setGeometry(104, 16, 169, 25);
  BTok = new QPushButton(QStringLiteral("&Ok"), this);
  BTok->setGeometry(104, 88, 73, 25);
  connect(BTok, &QPushButton::clicked, this, &TFormFlashRS::RS_ok);
  BTanuluj = new QPushButton(QStringLiteral("&Cancel"), this);
  BTanuluj->setGeometry(200, 88, 105, 25);
  connect(BTanuluj, &QPushButton::clicked, this, &QDialog::reject);
  // Esc ends the dialog with Cancel: QDialog's own key handling does that already.
}

void TFormFlashRS::Prepare(const std::array<bool, 4>& available, bool fastRS) {
  for (int n = 0; n < 4; ++n) {
    // An exclusive group never lets the last checked button go; switch that off to clear.
    RBcom[n]->setAutoExclusive(false);
    RBcom[n]->setChecked(false);
    RBcom[n]->setAutoExclusive(true);
    RBcom[n]->setEnabled(available[n]);
  }
  CBfastRS->setChecked(fastRS);
  BTok->setDefault(false);
  BTok->setAutoDefault(false);
  BTok->setEnabled(false);
}

bool TFormFlashRS::Choose(const std::array<bool, 4>& available, uint16_t& port, bool& fastRS) {
  Prepare(available, fastRS);
  if (exec() != QDialog::Accepted) return false;
  const uint16_t checked = CheckedPort();
  if (checked == 0) return false;
  port = checked;
  fastRS = CBfastRS->isChecked();
  return true;
}

uint16_t TFormFlashRS::CheckedPort() const {
  for (int n = 0; n < 4; ++n) {
    if (RBcom[n]->isChecked()) return static_cast<uint16_t>(n + 1);
  }
  return 0;
}

void TFormFlashRS::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Enter at once means Cancel, until a port is chosen.
  BTanuluj->setFocus();
}

void TFormFlashRS::RS_selected() {
  BTok->setEnabled(true);
  BTok->setAutoDefault(true);
  BTok->setDefault(true);
}

void TFormFlashRS::RS_ok() {
  if (CheckedPort() != 0) accept();
}

}  // namespace tavrino::ui
