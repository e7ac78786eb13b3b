// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/FormFlashRS.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

namespace tavrino::ui {
namespace {

// Beside the four ports, the devices they open; the check box and buttons sit right of them.
// The whole dialog stays narrower than the main window (638), so that it opens over it.
constexpr int kDetailLeft = 96;
constexpr int kDetailWidth = 300;
constexpr int kRightColumn = kDetailLeft + kDetailWidth + 8;
constexpr int kRightShift = kRightColumn - 104;

// WCAG's relative luminance of a colour, and the contrast of two.
double Luminance(const QColor& c) {
  const auto channel = [](double v) {
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableGreyed(const QColor& greyed, const QColor& text, const QColor& background) {
  // From the style's greyed colour towards the ordinary text, in small steps, until the
  // text can be read (4.5:1, as for ordinary text); the ordinary text colour at worst.
  for (int step = 0; step <= 20; ++step) {
    const double t = step / 20.0;
    const QColor mixed = QColor::fromRgbF(
        static_cast<float>(greyed.redF() + (text.redF() - greyed.redF()) * t),
        static_cast<float>(greyed.greenF() + (text.greenF() - greyed.greenF()) * t),
        static_cast<float>(greyed.blueF() + (text.blueF() - greyed.blueF()) * t));
    if (ContrastRatio(mixed, background) >= kReadableContrast) return mixed;
  }
  return text;
}

TFormFlashRS::TFormFlashRS(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormFlashRS"));
  setWindowTitle(QStringLiteral("Choose port"));
  // A fixed box: the window manager offers neither minimise nor maximise.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(321 + kRightShift, 129);
  setModal(true);

  portGroup = new QGroupBox(this);
  portGroup->setGeometry(16, 8, 73, 113);
  for (int n = 0; n < 4; ++n) {
    portButtons[n] = new QRadioButton(QStringLiteral("COM&%1").arg(n + 1), portGroup);
    portButtons[n]->setObjectName(QStringLiteral("portButtons%1").arg(n + 1));
    portButtons[n]->setGeometry(8, 16 + 24 * n, 57, 17);
    // Clicked, not toggled: the dialog's own clearing of the buttons must not enable OK.
    connect(portButtons[n], &QRadioButton::clicked, this, &TFormFlashRS::RS_selected);
    Ldevice[n] = new QLabel(this);
    Ldevice[n]->setObjectName(QStringLiteral("Ldevice%1").arg(n + 1));
    Ldevice[n]->setTextFormat(Qt::PlainText);
    Ldevice[n]->setGeometry(kDetailLeft, 8 + 16 + 24 * n, kDetailWidth, 17);
    // Greyed with the port, but the reason beside it must stay readable.
    QPalette palette = Ldevice[n]->palette();
    palette.setColor(QPalette::Disabled, QPalette::WindowText,
                     ReadableGreyed(palette.color(QPalette::Disabled, QPalette::WindowText),
                                    palette.color(QPalette::Active, QPalette::WindowText),
                                    palette.color(QPalette::Disabled, QPalette::Window)));
    Ldevice[n]->setPalette(palette);
  }
  CBfastRS = new QCheckBox(QStringLiteral("&Fast RS"), this);
  CBfastRS->setGeometry(104 + kRightShift, 16, 169, 25);
  BToffer = new QPushButton(this);
  BToffer->setObjectName(QStringLiteral("BToffer"));
  BToffer->setGeometry(kRightColumn, 52, 201, 25);
  BToffer->setAutoDefault(false);
  BToffer->hide();
  connect(BToffer, &QPushButton::clicked, this, &TFormFlashRS::TakeOffered);
  BTok = new QPushButton(QStringLiteral("&Ok"), this);
  BTok->setGeometry(104 + kRightShift, 88, 73, 25);
  connect(BTok, &QPushButton::clicked, this, &TFormFlashRS::RS_ok);
  BTanuluj = new QPushButton(QStringLiteral("&Cancel"), this);
  BTanuluj->setGeometry(200 + kRightShift, 88, 105, 25);
  connect(BTanuluj, &QPushButton::clicked, this, &QDialog::reject);
  // Esc ends the dialog with Cancel: QDialog's own key handling does that already.
}

void TFormFlashRS::Prepare(const std::array<bool, 4>& available, bool tryFastSpeeds) {
  for (int n = 0; n < 4; ++n) {
    // An exclusive group never lets the last checked button go; switch that off to clear.
    portButtons[n]->setAutoExclusive(false);
    portButtons[n]->setChecked(false);
    portButtons[n]->setAutoExclusive(true);
    portButtons[n]->setEnabled(available[n]);
  }
  for (int n = 0; n < 4; ++n) ShowDetail(n);
  const bool offered = offer_.port >= 1 && offer_.port <= 4;
  BToffer->setVisible(offered);
  if (offered) {
    BToffer->setText(QStringLiteral("Use %1 as COM%2").arg(offer_.name).arg(offer_.port));
    BToffer->setToolTip(QStringLiteral("For this session only: COM%1 opens %2")
                            .arg(offer_.port)
                            .arg(offer_.device));
  }
  CBfastRS->setChecked(tryFastSpeeds);
  BTok->setDefault(false);
  BTok->setAutoDefault(false);
  BTok->setEnabled(false);
}

bool TFormFlashRS::Choose(const std::array<bool, 4>& available, uint16_t& port,
                          bool& tryFastSpeeds) {
  Prepare(available, tryFastSpeeds);
  if (exec() != QDialog::Accepted) return false;
  const uint16_t checked = CheckedPort();
  if (checked == 0) return false;
  port = checked;
  tryFastSpeeds = CBfastRS->isChecked();
  return true;
}

uint16_t TFormFlashRS::CheckedPort() const {
  for (int n = 0; n < 4; ++n) {
    if (portButtons[n]->isChecked()) return static_cast<uint16_t>(n + 1);
  }
  return 0;
}

void TFormFlashRS::SetDetails(const std::array<PortDetail, 4>& details, const PortOffer& offer,
                              TakeOffer take) {
  details_ = details;
  offer_ = offer;
  take_ = std::move(take);
}

void TFormFlashRS::ShowDetail(int n) {
  const PortDetail& d = details_[static_cast<size_t>(n)];
  QLabel* label = Ldevice[static_cast<size_t>(n)];
  // A long device name gives way in its middle: the reason at the end must stay readable.
  const QString tail = d.reason.isEmpty() ? QString() : QStringLiteral(" \u2013 ") + d.reason;
  const QFontMetrics metrics(label->font());
  const int room = std::max(0, label->width() - metrics.horizontalAdvance(tail));
  const QString shown = metrics.elidedText(d.device, Qt::ElideMiddle, room) + tail;
  label->setText(shown);
  label->setToolTip(shown == d.device + tail ? QString() : d.device + tail);
  label->setEnabled(d.reason.isEmpty());
}

void TFormFlashRS::TakeOffered() {
  if (offer_.port < 1 || offer_.port > 4 || !take_) return;
  const int n = offer_.port - 1;
  details_[static_cast<size_t>(n)] = take_(offer_.port, offer_.device);
  offer_ = PortOffer{};
  BToffer->hide();
  ShowDetail(n);
  const bool opens = details_[static_cast<size_t>(n)].reason.isEmpty();
  portButtons[static_cast<size_t>(n)]->setEnabled(opens);
  if (opens) {
    portButtons[static_cast<size_t>(n)]->setChecked(true);
    portButtons[static_cast<size_t>(n)]->setFocus();
    RS_selected();
  }
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
