// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/TerminalView.h"

#include "frontend/Cp1250.h"

namespace tavrino::cli {

void TerminalView::LogChanged(const StatusLog& log, Change change) {
  switch (change) {
    case Change::Cleared:
      PrintPending();
      open_ = false;
      break;
    case Change::Added:
      PrintPending();
      line_ = log.Line(log.CurrentLine());
      open_ = true;
      printed_ = false;
      Draw(log, false);
      break;
    case Change::Progress:
      line_ = log.Line(log.CurrentLine());
      Draw(log, false);
      break;
    case Change::Status:
      line_ = log.Line(log.CurrentLine());
      if (term_.IsTty()) {
        Draw(log, true);
      } else {
        // A second status on the same line (a retry that ended later) prints it again.
        term_.WriteLine(Cp1250ToUtf8(StatusLog::Trimmed(line_)));
        printed_ = true;
      }
      break;
  }
  // A label without a colon comes padded to the line; a title has no use for the blanks.
  term_.SetTitle(Cp1250ToUtf8(StatusLog::Trimmed(log.Title())));
}

void TerminalView::Draw(const StatusLog& log, bool closed) {
  if (!term_.IsTty()) return;
  size_t split = line_.size();
  if (!closed && log.ProgressMark() >= 0) {
    // The part not yet done, as the desktop's inverting mark shows it.
    split = line_.size() * static_cast<size_t>(log.ProgressMark()) / 100;
  }
  term_.DrawOpenLine(Cp1250ToUtf8(line_.substr(0, split)), Cp1250ToUtf8(line_.substr(split)),
                     closed);
}

void TerminalView::PrintPending() {
  if (term_.IsTty()) {
    term_.EndOpenLine();
  } else if (open_ && !printed_) {
    term_.WriteLine(Cp1250ToUtf8(StatusLog::Trimmed(line_)));
    printed_ = true;
  }
}

void TerminalView::Finish() {
  PrintPending();
  open_ = false;
  term_.RestoreTitle();
}

}  // namespace tavrino::cli
