// SPDX-License-Identifier: GPL-2.0-or-later
// The port dialog: only the ports that open, no port chosen, OK only after a choice,
// Enter cancels until then, Esc cancels.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "UiRig.h"
#include "ui/FormFlashRS.h"

namespace tavrino::test {
namespace {

// Runs Choose() modally while act plays the person once the dialog is up.
struct Chosen {
  bool ok;
  uint16_t port;
  bool tryFastSpeeds;
};
Chosen ChooseWith(ui::TFormFlashRS& dialog, const std::array<bool, 4>& available,
                  const std::function<void()>& act) {
  uint16_t port = 0;
  bool tryFastSpeeds = true;
  QTimer::singleShot(0, &dialog, [&] {
    act();
    if (dialog.isVisible()) {
      ADD_FAILURE() << "the dialog is still open";
      dialog.reject();
    }
  });
  const bool ok = dialog.Choose(available, port, tryFastSpeeds);
  return {ok, port, tryFastSpeeds};
}

TEST(PortDialog, OpensWithOnlyAvailablePortsAndNothingChosen) {
  ui::TFormFlashRS dialog;
  EXPECT_EQ(dialog.windowTitle(), "Choose port");
  EXPECT_EQ(dialog.size().height(), 129);
  // A choice made last time must not come back checked.
  dialog.portButtons[2]->setChecked(true);
  dialog.CBfastRS->setChecked(false);
  dialog.Prepare({false, true, false, false}, true);
  const bool enabled[] = {false, true, false, false};
  for (int n = 0; n < 4; ++n) {
    EXPECT_EQ(dialog.portButtons[n]->text(), QString("COM&%1").arg(n + 1));
    EXPECT_EQ(dialog.portButtons[n]->isEnabled(), enabled[n]) << n;
    EXPECT_FALSE(dialog.portButtons[n]->isChecked()) << n;
  }
  EXPECT_EQ(dialog.CBfastRS->text(), "&Fast RS");
  EXPECT_TRUE(dialog.CBfastRS->isChecked());
  EXPECT_FALSE(dialog.BTok->isEnabled());
  EXPECT_FALSE(dialog.BTok->isDefault());

  dialog.show();
  EXPECT_EQ(dialog.focusWidget(), dialog.BTanuluj);
  QTest::mouseClick(dialog.portButtons[1], Qt::LeftButton);
  EXPECT_TRUE(dialog.BTok->isEnabled());
  EXPECT_TRUE(dialog.BTok->isDefault());
  EXPECT_EQ(dialog.CheckedPort(), 2);
  dialog.hide();
}

TEST(PortDialog, ChoosingAndCancelling) {
  ui::TFormFlashRS dialog;
  const std::array<bool, 4> all{true, true, true, true};

  Chosen c = ChooseWith(dialog, all, [&] {
    QTest::mouseClick(dialog.portButtons[2], Qt::LeftButton);
    dialog.CBfastRS->setChecked(false);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
  });
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.port, 3);
  EXPECT_FALSE(c.tryFastSpeeds);

  // Enter straight away lands on Cancel, which has the focus.
  c = ChooseWith(dialog, all, [&] { QTest::keyClick(dialog.focusWidget(), Qt::Key_Return); });
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.port, 0);

  c = ChooseWith(dialog, all, [&] {
    QTest::mouseClick(dialog.portButtons[0], Qt::LeftButton);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Escape);
  });
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.port, 0);

  c = ChooseWith(dialog, all, [&] {
    QTest::mouseClick(dialog.portButtons[3], Qt::LeftButton);
    dialog.close();
  });
  EXPECT_FALSE(c.ok);
}

// The reason beside a greyed port is read, not guessed at: greyed, it keeps the contrast
// ordinary text needs; and the dialog is no wider than the window it opens over.
TEST(PortDialog, AGreyedPortsReasonIsReadableAndTheDialogFitsOverTheWindow) {
  EXPECT_NEAR(ui::ContrastRatio(Qt::black, Qt::white), 21.0, 0.01);
  EXPECT_NEAR(ui::ContrastRatio(Qt::gray, Qt::gray), 1.0, 0.01);
  EXPECT_GE(
      ui::ContrastRatio(ui::ReadableGreyed(QColor(190, 190, 190), Qt::black, QColor(239, 239, 239)),
                        QColor(239, 239, 239)),
      ui::kReadableContrast);

  WindowRig rig;
  ui::TFormFlashRS& dialog = *rig.form.FormFlashRS;
  dialog.SetDetails({ui::PortDetail{"/dev/ttyS0", ""},
                     {"/dev/ttyS1", "missing"},
                     {"/dev/ttyS2", "busy: held by another program"},
                     {"/dev/ttyS3", "no permission: ask an administrator"}},
                    {}, {});
  dialog.Prepare({true, false, false, false}, true);
  for (int n = 1; n < 4; ++n) {
    const QLabel* label = dialog.Ldevice[static_cast<size_t>(n)];
    EXPECT_FALSE(label->isEnabled());
    const QPalette& p = label->palette();
    EXPECT_GE(ui::ContrastRatio(p.color(QPalette::Disabled, QPalette::WindowText),
                                p.color(QPalette::Disabled, QPalette::Window)),
              ui::kReadableContrast)
        << label->text().toStdString();
  }
  EXPECT_LE(dialog.width(), rig.form.width());
}

}  // namespace
}  // namespace tavrino::test
