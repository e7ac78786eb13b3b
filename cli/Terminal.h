// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <ostream>
#include <string>

namespace tavrino::cli {

// The standard output of tavrino-cli as the status log and the boxes share it. On a terminal
// the log's open line is drawn live (carriage-return redraw) and messages are printed above
// it; elsewhere only whole lines are written, so a log file or a pipe reads cleanly.
class Terminal {
 public:
  // isTty: the output is a terminal wide enough to redraw a whole log line in place.
  Terminal(std::ostream& out, bool isTty, bool setTitles = false)
      : out_(out), tty_(isTty), titles_(isTty && setTitles) {}
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  bool IsTty() const { return tty_; }
  std::ostream& Out() { return out_; }

  // Terminal only: draws the open line (UTF-8) in place; utf8Marked, drawn after utf8Head,
  // shows in inverse video, as the desktop's progress mark does.
  void DrawOpenLine(const std::string& utf8Head, const std::string& utf8Marked, bool closed);
  // Writes one finished line (UTF-8) and ends it; on a terminal it ends the open line first.
  void WriteLine(const std::string& utf8);
  // Ends the line drawn on a terminal, so that the cursor stands at the start of a new one.
  void EndOpenLine();

  // Messages between the log lines: Begin clears or ends the open line, End redraws it.
  void BeginMessage();
  void EndMessage();
  // A whole message (UTF-8, may hold several lines) printed above the open line.
  void PrintMessage(const std::string& utf8);

  // Terminal only: the window title, kept in step with the log as the desktop's task bar.
  void SetTitle(const std::string& utf8);
  // Restores the title the terminal had before (pushed at the first SetTitle).
  void RestoreTitle();

 private:
  void Redraw();

  std::ostream& out_;
  bool tty_;
  bool titles_;
  bool titlePushed_ = false;
  std::string title_;
  // The open line as drawn last on a terminal.
  bool onScreen_ = false;  // drawn, cursor still on it
  bool closed_ = false;    // it carries its status: the next message starts below it
  std::string head_, marked_;
};

}  // namespace tavrino::cli
