// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <string>

#include "cli/Terminal.h"
#include "frontend/StatusLog.h"

namespace tavrino::cli {

// Renders the status log on tavrino-cli's output. Every line is printed once it closes: on
// its status, or when the next line opens, the log is cleared or the command ends. On a
// terminal the open line is shown live with its percentage and progress mark. Texts are
// decoded from Windows-1250 to UTF-8; columns stay those of the log.
class TerminalView : public StatusLogView {
 public:
  explicit TerminalView(Terminal& term) : term_(term) {}

  void LogChanged(const StatusLog& log, Change change) override;
  // The command has ended: the open line is printed and the terminal's title given back.
  void Finish();

 private:
  void PrintPending();
  void Draw(const StatusLog& log, bool closed);

  Terminal& term_;
  std::string line_;      // the current line as the log holds it (single-byte text)
  bool open_ = false;     // a line has been added since the last clear
  bool printed_ = false;  // (not a terminal) the current line's closed state is printed
};

}  // namespace tavrino::cli
