// SPDX-License-Identifier: GPL-2.0-or-later
// The status display draws the log in fixed cells, inverts the unfinished part of the
// current line, and shows every change before the caller goes on.
#include <gtest/gtest.h>

#include <QEvent>
#include <QFontInfo>
#include <QImage>
#include <QTest>

#include "frontend/StatusLog.h"
#include "frontend/Texts.h"
#include "ui/StatusLogWidget.h"

namespace tavrino::test {
namespace {

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class StatusDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    widget.setFixedSize(590, 200);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    widget.Initialize();
  }
  // The picture's pixel at the top left of the widget's pixel (x, y): a scaled screen has
  // more than one picture pixel to each.
  QRgb Pixel(int x, int y) const {
    const qreal ratio = widget.Picture().devicePixelRatio();
    return widget.Picture().pixel(static_cast<int>(x * ratio), static_cast<int>(y * ratio));
  }
  // Whether any pixel of the cell (column, row), both 1-based, differs from the background.
  bool Inked(int column, int row) const {
    const int cw = widget.CharWidth(), ch = widget.CharHeight();
    for (int y = (row - 1) * ch; y < row * ch; ++y) {
      for (int x = (column - 1) * cw; x < column * cw; ++x) {
        if (Pixel(x, y) != widget.Face().rgb()) return true;
      }
    }
    return false;
  }

  StatusLog log;
  ui::StatusLogWidget widget{log};
};

TEST_F(StatusDisplay, GridComesFromTheMeasuredFixedPitchFont) {
  EXPECT_TRUE(QFontInfo(widget.DisplayFont()).fixedPitch());
  EXPECT_EQ(log.ColumnCount(), 590 / widget.CharWidth());
  EXPECT_EQ(log.RowCount(), 200 / widget.CharHeight());
  if (widget.logicalDpiY() == 96 && QFontInfo(widget.DisplayFont()).family() == "Liberation Mono") {
    EXPECT_EQ(log.ColumnCount(), 59);
    EXPECT_EQ(log.RowCount(), 11);
  }
  // One picture pixel to each pixel of the screen, so that the text is drawn sharp.
  EXPECT_EQ(widget.Picture().devicePixelRatio(), widget.devicePixelRatioF());
  EXPECT_EQ(widget.Picture().size(), QSize(590, 200) * widget.devicePixelRatioF());
  EXPECT_EQ(Pixel(300, 100), widget.Face().rgb());
}

TEST_F(StatusDisplay, EveryChangeIsOnScreenBeforeTheCallerGoesOn) {
  PaintCounter counter;
  widget.installEventFilter(&counter);
  // No event processing between the calls: a deferred update() would not count here.
  log.AddLine("FLASH programing:");
  EXPECT_EQ(counter.paints, 1);
  log.ShowProgress(10, 0, 1);
  EXPECT_EQ(counter.paints, 2);
  log.SetStatus(texts::kOk, 4);
  EXPECT_EQ(counter.paints, 3);
  widget.removeEventFilter(&counter);
}

TEST_F(StatusDisplay, TextsSitInTheirCells) {
  log.AddLine("A:");
  log.SetStatus(texts::kBlad, 4);
  const int columns = log.ColumnCount();
  EXPECT_TRUE(Inked(1, 1));
  EXPECT_TRUE(Inked(2, 1));
  EXPECT_FALSE(Inked(3, 1));
  EXPECT_FALSE(Inked(columns - 4, 1));
  for (int c = columns - 3; c <= columns; ++c) EXPECT_TRUE(Inked(c, 1)) << "column " << c;
  EXPECT_FALSE(Inked(1, 2));
}

TEST_F(StatusDisplay, ProgressMarkInvertsTheRestOfTheCurrentRowOnly) {
  log.AddLine("First:");
  log.SetStatus(texts::kOk, 4);
  log.AddLine("FLASH erasing:");
  log.ShowProgress(25, 0, 1);
  const int ch = widget.CharHeight();
  const int width = widget.width();
  const QRgb face = widget.Face().rgb();
  const QRgb inverted = face ^ 0x00FFFFFFu;
  const int x25 = width * 25 / 100;
  // The bottom pixel row of row 2 is in the font's descent: no glyph of these texts is there.
  const int blankY = 2 * ch - 1;
  EXPECT_EQ(Pixel(x25 - 1, blankY), face);
  EXPECT_EQ(Pixel(x25, blankY), inverted);
  EXPECT_EQ(Pixel(width - 2, blankY), inverted);
  EXPECT_EQ(Pixel(width - 1, blankY), face) << "the right edge pixel stays";
  EXPECT_EQ(Pixel(x25, ch - 1), face) << "row 1 untouched";
  EXPECT_EQ(Pixel(x25, 2 * ch), face) << "row 3 untouched";

  // A later percentage redraws the line first: the mark moves, it never piles up.
  log.ShowProgress(50, 0, 1);
  const int x50 = width * 50 / 100;
  EXPECT_EQ(Pixel(x25, blankY), face);
  EXPECT_EQ(Pixel(x50 - 1, blankY), face);
  EXPECT_EQ(Pixel(x50, blankY), inverted);

  log.SetStatus(texts::kOk, 4);
  EXPECT_EQ(Pixel(x50, blankY), face) << "the status wipes the mark";
  log.AddLine("Next:");
  log.ShowProgress(100, 0, 1);
  EXPECT_EQ(Pixel(width - 2, 3 * ch - 1), face) << "nothing left to invert at 100";
}

TEST_F(StatusDisplay, ClearEmptiesThePictureAndTheTitleWaits) {
  std::vector<std::string> titles;
  widget.onTitle = [&](const std::string& t) { titles.push_back(t); };
  log.AddLine("FLASH erasing:");
  log.ShowProgress(42, 0, 1);
  log.Clear();
  EXPECT_FALSE(Inked(1, 1));
  EXPECT_EQ(titles,
            (std::vector<std::string>{"Tavrino - FLASH erasing", "Tavrino - 42% - FLASH erasing"}));
}

}  // namespace
}  // namespace tavrino::test
