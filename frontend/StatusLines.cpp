// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontend/StatusLines.h"

namespace tavrino {

void StatusLineTap::LogChanged(const StatusLog& log, Change change) {
  // A line is finished when the next one starts or the display is cleared; until then its
  // status may still change, so only its latest text is kept.
  const bool finished = change == Change::Added || change == Change::Cleared;
  if (finished && hasOpen_) {
    hasOpen_ = false;
    if (sink_) sink_(StatusLog::Trimmed(open_));
  }
  if (change != Change::Cleared && log.CurrentLine() > 0) {
    open_ = log.Line(log.CurrentLine());
    hasOpen_ = true;
  }
  if (inner_ != nullptr) inner_->LogChanged(log, change);
  // After the view: a terminal has printed the finished line by now.
  if (finished) FlushInFull();
}

void StatusLineTap::Flush() {
  if (hasOpen_) {
    hasOpen_ = false;
    if (sink_) sink_(StatusLog::Trimmed(open_));
  }
  FlushInFull();
}

void StatusLineTap::InFull(const std::string& text) {
  pendingInFull_.push_back(text);
  if (!hasOpen_) FlushInFull();
}

void StatusLineTap::FlushInFull() {
  std::vector<std::string> texts;
  texts.swap(pendingInFull_);
  if (!inFull_) return;
  for (const std::string& text : texts) inFull_(text);
}

bool FitsLine(const StatusLog& log, const std::string& label, const std::string& status) {
  const size_t gap = label.empty() || status.empty() ? 0 : 1;
  return label.size() + gap + status.size() <= static_cast<size_t>(log.ColumnCount());
}

}  // namespace tavrino
