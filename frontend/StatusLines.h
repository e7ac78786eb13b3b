// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Hands on every status line once it is finished, as the display shows it, while the log's
// own view keeps drawing: how a front end writes the lines to standard output and keeps
// them for the run report.
#include <functional>
#include <string>

#include "frontend/StatusLog.h"

namespace tavrino {

class StatusLineTap : public StatusLogView {
 public:
  // line: the finished line with its trailing blanks removed, Windows-1250 as in the log.
  using LineSink = std::function<void(const std::string& line)>;

  // Sits between log and its view (inner may be null); attach with log.SetView(&tap).
  StatusLineTap(StatusLogView* inner, LineSink sink) : inner_(inner), sink_(std::move(sink)) {}

  void LogChanged(const StatusLog& log, Change change) override;
  // Hands on the line still open (at the end of a command): it will not be finished by a
  // next line. Does nothing when there is none.
  void Flush();

 private:
  StatusLogView* inner_;
  LineSink sink_;
  std::string open_;  // the current line as it stands
  bool hasOpen_ = false;
};

}  // namespace tavrino
