// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The status display: draws a StatusLog as a grid of fixed-pitch character cells on an
// off-screen picture, with the inverting progress mark on the current line.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QWidget>
#include <functional>

#include "frontend/StatusLog.h"

namespace tavrino::ui {

class StatusLogWidget : public QWidget, public StatusLogView {
  Q_OBJECT

 public:
  StatusLogWidget(StatusLog& log, QWidget* parent = nullptr);
  ~StatusLogWidget() override;

  // Sets up font and colours, sizes the log's grid from the measured cell, then Clear.
  // Called once, after the widget has its final size.
  void Initialize();

  // A view that sees every change of the log first and passes it on to this one (set
  // before Initialize); null: the log draws here directly.
  StatusLogView* viewInFront = nullptr;

  // Called with the log's title after every change that sets it.
  std::function<void(const std::string& title)> onTitle;

  int CharWidth() const { return charWidth_; }
  int CharHeight() const { return charHeight_; }
  // The off-screen picture, at the screen's device pixel ratio.
  const QImage& Picture() const { return picture_; }
  const QFont& DisplayFont() const { return font_; }
  QColor Face() const { return face_; }
  QColor Ink() const { return ink_; }

  void LogChanged(const StatusLog& log, Change change) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void DrawRow(QPainter& painter, int row);
  void DrawProgressMark(QPainter& painter);

  StatusLog& log_;
  QImage picture_;
  QFont font_;
  QColor face_;
  QColor ink_;
  int charWidth_ = 1;
  int charHeight_ = 1;
  int ascent_ = 0;
};

// "Courier New" 12 pt, fixed pitch, regular; a metric twin or any fixed-pitch font where it
// is missing. The size is turned into pixels for the given screen resolution, so that the
// off-screen picture draws with the same metrics that were measured.
QFont StatusFont(int logicalDpiY);

}  // namespace tavrino::ui
