#pragma once
// The port dialog "Choose port": COM1..COM4 (only those that open), "&Fast RS", OK, Cancel.
#include <QDialog>
#include <array>
#include <cstdint>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace tavrino::ui {

class TFormFlashRS : public QDialog {
  Q_OBJECT

 public:
  explicit TFormFlashRS(QWidget* parent = nullptr);

  // Sets the dialog up for one choice: no port checked, RBcom1..4 enabled exactly where
  // available, "&Fast RS" as given (the caller passes it on), BTok disabled and not the
  // default button.
  void Prepare(const std::array<bool, 4>& available, bool fastRS);
  // Prepare, then show modally. On OK: port = the checked port (1..4), fastRS = the box.
  // False when cancelled (Cancel, Esc, closing); port and fastRS are then left alone.
  bool Choose(const std::array<bool, 4>& available, uint16_t& port, bool& fastRS);
  // The checked port, 1..4, or 0 when none is checked.
  uint16_t CheckedPort() const;

  QGroupBox* GroupBox1;
  std::array<QRadioButton*, 4> RBcom;
  QCheckBox* CBfastRS;
  QPushButton* BTok;
  QPushButton* BTanuluj;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void RS_selected();
  void RS_ok();
};

}  // namespace tavrino::ui
