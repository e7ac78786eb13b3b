// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontend/StatusLog.h"

#include <algorithm>

namespace tavrino {
namespace {

const std::string kEmpty;

std::string CutAtColon(std::string text) {
  const auto colon = text.find(':');
  if (colon != std::string::npos) text.erase(colon);
  return text;
}

}  // namespace

StatusLog::StatusLog(int columns, int rows) : columns_(1), rows_(1) {
  SetGeometry(columns, rows);
}

void StatusLog::SetGeometry(int columns, int rows) {
  columns_ = std::clamp(columns, 1, kMaxColumns);
  rows_ = std::clamp(rows, 1, kMaxRows);
  lines_.resize(static_cast<size_t>(rows_));
  current_ = std::min(current_, rows_);
}

void StatusLog::SetCaption(const std::string& caption) {
  if (title_ == caption_) title_ = caption;
  caption_ = caption;
}

void StatusLog::Clear() {
  for (auto& line : lines_) line.clear();
  current_ = 0;
  progressMark_ = -1;
  history_.clear();
  Notify(StatusLogView::Change::Cleared);
}

void StatusLog::AddLine(const std::string& label) {
  if (current_ < rows_) {
    ++current_;
  } else {
    // The grid is full: everything moves up one row and the top line is lost.
    std::rotate(lines_.begin(), lines_.begin() + 1, lines_.end());
  }
  std::string padded = label;
  if (static_cast<int>(padded.size()) < columns_) padded.resize(static_cast<size_t>(columns_), ' ');
  lines_[static_cast<size_t>(current_ - 1)] = padded.substr(0, static_cast<size_t>(columns_));
  progressPercent_ = -100;
  progressMark_ = -1;
  // The title is taken from the whole padded label, not the part that fits the line.
  title_ = caption_ + " - " + CutAtColon(padded);
  history_.push_back(lines_[static_cast<size_t>(current_ - 1)]);
  Notify(StatusLogView::Change::Added);
}

void StatusLog::SetStatus(const std::string& text, int32_t minWidth) {
  if (current_ == 0) return;
  std::string s = text.substr(0, static_cast<size_t>(columns_));
  if (minWidth != 0) {
    while (static_cast<int32_t>(s.size()) < minWidth && static_cast<int>(s.size()) < columns_) {
      s.insert(s.begin(), ' ');
    }
  }
  std::string& line = lines_[static_cast<size_t>(current_ - 1)];
  line.resize(static_cast<size_t>(columns_), ' ');
  line = line.substr(0, static_cast<size_t>(columns_) - s.size()) + s;
  progressMark_ = -1;
  title_ = caption_;
  history_.back() = line;
  Notify(StatusLogView::Change::Status);
}

void StatusLog::ShowProgress(int32_t value, int32_t total, int32_t minStep) {
  if (current_ == 0) return;
  // 64-bit so that a large count cannot overflow; division still truncates toward zero.
  int64_t p = total == 0 ? value : static_cast<int64_t>(value) * 100 / total;
  p = std::clamp<int64_t>(p, 0, 100);
  if (p - progressPercent_ < minStep) return;
  progressPercent_ = static_cast<int>(p);
  const std::string t = std::to_string(p) + "%";
  std::string& line = lines_[static_cast<size_t>(current_ - 1)];
  line.resize(static_cast<size_t>(columns_), ' ');
  const size_t keep = line.size() > t.size() ? line.size() - t.size() : 0;
  const std::string head = line.substr(0, keep);
  line = (head + t).substr(0, static_cast<size_t>(columns_));
  progressMark_ = progressPercent_;
  title_ = caption_ + " - " + CutAtColon(t + " - " + head);
  history_.back() = line;
  Notify(StatusLogView::Change::Progress);
}

const std::string& StatusLog::Line(int i) const {
  if (i < 1 || i > rows_) return kEmpty;
  return lines_[static_cast<size_t>(i - 1)];
}

std::string StatusLog::Trimmed(const std::string& line) {
  const auto end = line.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : line.substr(0, end + 1);
}

void StatusLog::Notify(StatusLogView::Change change) {
  if (view_ != nullptr) view_->LogChanged(*this, change);
}

}  // namespace tavrino
