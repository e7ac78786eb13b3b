// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontend/StatusLines.h"

namespace tavrino {

void StatusLineTap::LogChanged(const StatusLog& log, Change change) {
  // A line is finished when the next one starts or the display is cleared; until then its
  // status may still change, so only its latest text is kept.
  if (change == Change::Added || change == Change::Cleared) Flush();
  if (change != Change::Cleared && log.CurrentLine() > 0) {
    open_ = log.Line(log.CurrentLine());
    hasOpen_ = true;
  }
  if (inner_ != nullptr) inner_->LogChanged(log, change);
}

void StatusLineTap::Flush() {
  if (!hasOpen_) return;
  hasOpen_ = false;
  if (sink_) sink_(StatusLog::Trimmed(open_));
}

}  // namespace tavrino
