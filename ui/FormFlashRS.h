// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The port dialog "Choose port": COM1..COM4 (only those that open), "&Fast RS", OK, Cancel.
#include <QColor>
#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace tavrino::ui {

// What the dialog shows beside one port: the device it opens and, when it cannot be
// chosen, why ("missing", "busy: held by another program", ...).
struct PortDetail {
  QString device;
  QString reason;  // empty when the port opened
};

// A USB adapter that no port opens, offered for an unmapped port that does not open.
struct PortOffer {
  uint16_t port = 0;  // 1..4; 0: nothing to offer
  QString device;     // the adapter's device
  QString name;       // how to call it on the button
};

// Contrast of two colours as WCAG measures it (1 to 21), and the least that text must have
// against its background to be read.
double ContrastRatio(const QColor& a, const QColor& b);
inline constexpr double kReadableContrast = 4.5;
// The style's greyed text colour, darkened (or lightened) towards the ordinary text colour
// just enough to be read on background.
QColor ReadableGreyed(const QColor& greyed, const QColor& text, const QColor& background);

class TFormFlashRS : public QDialog {
  Q_OBJECT

 public:
  // Gives port `port` the offered device for this session and says how it stands now.
  using TakeOffer = std::function<PortDetail(uint16_t port, const QString& device)>;

  explicit TFormFlashRS(QWidget* parent = nullptr);

  // What to show beside each port for the next choice, and the adapter to offer (take is
  // called when the person accepts it). Kept until the next call.
  void SetDetails(const std::array<PortDetail, 4>& details, const PortOffer& offer, TakeOffer take);

  // Sets the dialog up for one choice: no port checked, portButtons[0..3] enabled exactly where
  // available, "&Fast RS" as given (the caller passes it on), BTok disabled and not the
  // default button.
  void Prepare(const std::array<bool, 4>& available, bool tryFastSpeeds);
  // Prepare, then show modally. On OK: port = the checked port (1..4), tryFastSpeeds = the box.
  // False when cancelled (Cancel, Esc, closing); port and tryFastSpeeds are then left alone.
  bool Choose(const std::array<bool, 4>& available, uint16_t& port, bool& tryFastSpeeds);
  // The checked port, 1..4, or 0 when none is checked.
  uint16_t CheckedPort() const;

  QGroupBox* portGroup;
  std::array<QRadioButton*, 4> portButtons;
  QCheckBox* CBfastRS;
  QPushButton* BTok;
  QPushButton* BTanuluj;
  std::array<QLabel*, 4> Ldevice;  // the device beside each port, and why it is greyed
  QPushButton* BToffer;            // "Use ttyUSB0 as COM3", shown only with an offer

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void RS_selected();
  void RS_ok();
  void ShowDetail(int n);
  void TakeOffered();

  std::array<PortDetail, 4> details_;
  PortOffer offer_;
  TakeOffer take_;
};

}  // namespace tavrino::ui
