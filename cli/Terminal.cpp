// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/Terminal.h"

namespace tavrino::cli {
namespace {

constexpr const char* kEraseToEnd = "\x1b[K";
constexpr const char* kInverse = "\x1b[7m";
constexpr const char* kInverseOff = "\x1b[27m";

}  // namespace

void Terminal::DrawOpenLine(const std::string& utf8Head, const std::string& utf8Marked,
                            bool closed) {
  if (!tty_) return;
  head_ = utf8Head;
  marked_ = utf8Marked;
  closed_ = closed;
  onScreen_ = true;
  Redraw();
}

void Terminal::Redraw() {
  out_ << '\r' << head_;
  if (!marked_.empty()) out_ << kInverse << marked_ << kInverseOff;
  out_ << kEraseToEnd << std::flush;
}

void Terminal::WriteLine(const std::string& utf8) {
  EndOpenLine();
  out_ << utf8 << '\n' << std::flush;
}

void Terminal::EndOpenLine() {
  if (!onScreen_) return;
  out_ << '\n' << std::flush;
  onScreen_ = false;
}

void Terminal::BeginMessage() {
  if (!onScreen_) return;
  if (closed_) {
    // A closed line stays as it is; the message goes below it.
    EndOpenLine();
  } else {
    out_ << '\r' << kEraseToEnd;
  }
}

void Terminal::EndMessage() {
  if (onScreen_ && !closed_) Redraw();
  out_ << std::flush;
}

void Terminal::PrintMessage(const std::string& utf8) {
  BeginMessage();
  out_ << utf8;
  if (utf8.empty() || utf8.back() != '\n') out_ << '\n';
  EndMessage();
}

void Terminal::SetTitle(const std::string& utf8) {
  if (!titles_ || utf8 == title_) return;
  if (!titlePushed_) {
    out_ << "\x1b[22;0t";  // keep the terminal's own title to give it back at the end
    titlePushed_ = true;
  }
  title_ = utf8;
  out_ << "\x1b]0;" << utf8 << '\a' << std::flush;
}

void Terminal::RestoreTitle() {
  if (!titlePushed_) return;
  out_ << "\x1b[23;0t" << std::flush;
  titlePushed_ = false;
  title_.clear();
}

}  // namespace tavrino::cli
