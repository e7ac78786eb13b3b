// SPDX-License-Identifier: GPL-2.0-or-later
// The port dialog: only the ports that open, no port chosen, OK only after a choice,
// Enter cancels until then, Esc cancels.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

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

}  // namespace
}  // namespace tavrino::test
