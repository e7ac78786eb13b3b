// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Hands on every status line once it is finished, as the display shows it, while the log's
// own view keeps drawing: how a front end writes the lines to standard output and keeps
// them for the run report.
#include <functional>
#include <string>
#include <vector>

#include "frontend/StatusLog.h"

namespace tavrino {

class StatusLineTap : public StatusLogView {
 public:
  // line: the finished line with its trailing blanks removed, Windows-1250 as in the log.
  using LineSink = std::function<void(const std::string& line)>;

  // Sits between log and its view (inner may be null); attach with log.SetView(&tap).
  // inFull gets what InFull is given, each text right after the line it belongs to.
  StatusLineTap(StatusLogView* inner, LineSink sink, LineSink inFull = {})
      : inner_(inner), sink_(std::move(sink)), inFull_(std::move(inFull)) {}

  void LogChanged(const StatusLog& log, Change change) override;
  // Hands on the line still open (at the end of a command): it will not be finished by a
  // next line. Does nothing when there is none.
  void Flush();
  // The open line's text in full (see FrontEnd::LineInFull): handed on after the line once
  // the line is finished and the view has shown it, or at once when no line is open.
  void InFull(const std::string& text);

 private:
  void FlushInFull();

  StatusLogView* inner_;
  LineSink sink_;
  LineSink inFull_;
  std::string open_;  // the current line as it stands
  bool hasOpen_ = false;
  std::vector<std::string> pendingInFull_;
};

// Whether a line of label and status (either may be empty) fits the log's columns whole,
// with a blank between the two: a line that names a file must not lose part of the name.
bool FitsLine(const StatusLog& log, const std::string& label, const std::string& status = {});

}  // namespace tavrino
