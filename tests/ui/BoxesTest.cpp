// SPDX-License-Identifier: GPL-2.0-or-later
// The question and information boxes, and the wait box that nobody can close.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include "frontend/Texts.h"
#include "ui/FormWait.h"
#include "ui/Modals.h"

namespace tavrino::test {
namespace {

TEST(BoxText, CarriageReturnsAndLineFeedsBothBreakLines) {
  const struct {
    std::string in;
    QString shown;
  } cases[] = {
      {"Abort ?", "Abort ?"},
      {"First.\rSecond.", "First.\nSecond."},
      {"First.\nSecond.", "First.\nSecond."},
      {"First.\r\nSecond.", "First.\nSecond."},
      {"First.\n\nSecond.", "First.\n\nSecond."},
      {"First.\r\rSecond.", "First.\n\nSecond."},
      {"Trailing\r", "Trailing\n"},
      {texts::kBlad, QString::fromUtf8("B\u0141\u0104D")},
  };
  for (const auto& c : cases) EXPECT_EQ(ui::BoxText(c.in), c.shown) << c.in;
}

// Opens the box without blocking, lets act end it, and returns AskUser's answer.
bool Answer(bool infoOnly, const std::function<void(QMessageBox&)>& act) {
  auto box = ui::MakeAskBox(nullptr, "Keep the settings?\rYes or no.", infoOnly);
  box->show();
  act(*box);
  EXPECT_FALSE(box->isVisible());
  return ui::AskBoxAnswer(*box, infoOnly);
}

QAbstractButton* ButtonNamed(QMessageBox& box, const QString& text) {
  for (QAbstractButton* b : box.buttons()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

TEST(AskBox, QuestionHasYesAsDefaultAndEverythingElseMeansNo) {
  auto box = ui::MakeAskBox(nullptr, "Q", false);
  EXPECT_EQ(box->windowTitle(), "Question");
  EXPECT_EQ(box->icon(), QMessageBox::Question);
  ASSERT_EQ(box->buttons().size(), 2);
  ASSERT_NE(ButtonNamed(*box, "&Yes"), nullptr);
  ASSERT_NE(ButtonNamed(*box, "&No"), nullptr);
  EXPECT_EQ(box->defaultButton(), ButtonNamed(*box, "&Yes"));
  EXPECT_TRUE(box->isModal() || box->windowModality() != Qt::NonModal);

  EXPECT_TRUE(Answer(false, [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Return); }));
  EXPECT_TRUE(Answer(false, [](QMessageBox& b) { ButtonNamed(b, "&Yes")->click(); }));
  EXPECT_FALSE(Answer(false, [](QMessageBox& b) { ButtonNamed(b, "&No")->click(); }));
  EXPECT_FALSE(Answer(false, [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }));
  EXPECT_FALSE(Answer(false, [](QMessageBox& b) { b.close(); }));
}

TEST(AskBox, InformationHasOneOkAndAnswersFalse) {
  auto box = ui::MakeAskBox(nullptr, "Updating ok.", true);
  EXPECT_EQ(box->windowTitle(), "Information");
  EXPECT_EQ(box->icon(), QMessageBox::Information);
  ASSERT_EQ(box->buttons().size(), 1);
  EXPECT_EQ(box->buttons().front()->text(), "&Ok");
  EXPECT_FALSE(Answer(true, [](QMessageBox& b) { b.buttons().front()->click(); }));
  EXPECT_FALSE(Answer(true, [](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }));
}

// The window manager draws the title in its own frame, with an icon and three buttons
// beside it; a box sized for a short text alone showed "Information" as "In... on".
TEST(AskBox, ShortTextStillLeavesRoomForTheTitle) {
  const struct {
    std::string text;
    bool infoOnly;
  } cases[] = {{"Abort ?", false}, {"Updating ok.", true}, {"Comparison ok.", true}};
  for (const auto& c : cases) {
    auto box = ui::MakeAskBox(nullptr, c.text, c.infoOnly);
    box->show();
    QFont bold = box->font();
    bold.setBold(true);
    const int bar = box->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, box.get());
    EXPECT_GE(box->width(), QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 4 * bar)
        << c.text;
    box->close();
  }
}

TEST(WaitBox, StaysOpenUntilTheProgramHidesIt) {
  ui::TFormWait wait;
  EXPECT_EQ(wait.windowTitle(), "Information");
  EXPECT_EQ(wait.size(), QSize(234, 74));
  EXPECT_EQ(wait.waitText->text(), "Wait...");
  wait.ShowWait(true);
  EXPECT_FALSE(wait.isModal());
  EXPECT_FALSE(wait.close());
  QTest::keyClick(&wait, Qt::Key_Escape);
  EXPECT_TRUE(wait.isVisible());
  wait.ShowWait(false);
  EXPECT_FALSE(wait.isVisible());
}

}  // namespace
}  // namespace tavrino::test
