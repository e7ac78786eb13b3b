// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/StatusLogWidget.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "frontend/Cp1250.h"

namespace tavrino::ui {

QFont StatusFont(int logicalDpiY) {
  QFont font;
  font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                    QStringLiteral("DejaVu Sans Mono")});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setBold(false);
  font.setItalic(false);
  font.setUnderline(false);
  font.setPixelSize(static_cast<int>(std::lround(12.0 * logicalDpiY / 72.0)));
  return font;
}

StatusLogWidget::StatusLogWidget(StatusLog& log, QWidget* parent) : QWidget(parent), log_(log) {
  setObjectName(QStringLiteral("statusView"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

StatusLogWidget::~StatusLogWidget() {
  log_.SetView(nullptr);
}

void StatusLogWidget::Initialize() {
  face_ = palette().color(QPalette::Button);
  ink_ = palette().color(QPalette::ButtonText);
  font_ = StatusFont(logicalDpiY());
  const QFontMetrics metrics(font_);
  // Whole pixels, so that every column starts at a fixed x.
  charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char(' ')));
  charHeight_ = std::max(1, metrics.height());
  ascent_ = metrics.ascent();
  // As many pixels as the screen shows: on a scaled screen a picture of the widget's own
  // size would be stretched, and the text would come out blurred.
  const qreal ratio = devicePixelRatioF();
  picture_ = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_RGB32);
  picture_.setDevicePixelRatio(ratio);
  log_.SetGeometry(width() / charWidth_, height() / charHeight_);
  log_.SetView(viewInFront != nullptr ? viewInFront : this);
  log_.Clear();
}

void StatusLogWidget::LogChanged(const StatusLog& log, Change change) {
  if (picture_.isNull()) return;
  QPainter painter(&picture_);
  painter.setFont(font_);
  switch (change) {
    case Change::Cleared:
      painter.fillRect(rect(), face_);
      painter.end();
      update();  // shown at the next ordinary repaint
      return;
    case Change::Added:
      // Every row, which also wipes a progress mark left on the line above.
      for (int row = 1; row <= log.RowCount(); ++row) DrawRow(painter, row);
      break;
    case Change::Status:
    case Change::Progress:
      DrawRow(painter, log.CurrentLine());
      if (log.ProgressMark() >= 0) DrawProgressMark(painter);
      break;
  }
  painter.end();
  if (onTitle) onTitle(log.Title());
  // The caller is busy on this thread: the change must be on the screen before it goes on.
  repaint();
}

void StatusLogWidget::DrawRow(QPainter& painter, int row) {
  if (row < 1) return;
  const int y = (row - 1) * charHeight_;
  // Opaque: the whole row's background first, so nothing of an earlier text or mark stays.
  painter.fillRect(0, y, width(), charHeight_, face_);
  const std::string& line = log_.Line(row);
  if (line.empty()) return;
  painter.setPen(ink_);
  const QString text = QString::fromStdString(Cp1250ToUtf8(line));
  // One character per cell: the font's own advance may be a fraction of a pixel off.
  for (qsizetype c = 0; c < text.size(); ++c) {
    if (text[c] == QLatin1Char(' ')) continue;
    painter.drawText(static_cast<int>(c) * charWidth_, y + ascent_, QString(text[c]));
  }
}

void StatusLogWidget::DrawProgressMark(QPainter& painter) {
  const int row = log_.CurrentLine();
  if (row < 1) return;
  const int x = width() * log_.ProgressMark() / 100;
  // From x to the right edge, the edge pixel excluded; at 100 percent nothing is left.
  const int markWidth = width() - 1 - x;
  if (markWidth <= 0) return;
  painter.setRenderHint(QPainter::Antialiasing, false);
  // White "difference" turns every pixel into its inverse and keeps the picture opaque.
  painter.setCompositionMode(QPainter::CompositionMode_Difference);
  painter.fillRect(x, (row - 1) * charHeight_, markWidth, charHeight_, Qt::white);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void StatusLogWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (picture_.isNull()) {
    painter.fillRect(rect(), palette().color(QPalette::Button));
    return;
  }
  // Whole: the picture may hold more pixels than the widget has; the painter clips to what
  // needs repainting.
  painter.drawImage(QPoint(0, 0), picture_);
}

}  // namespace tavrino::ui
