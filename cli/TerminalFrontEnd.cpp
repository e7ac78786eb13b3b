// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/TerminalFrontEnd.h"

#include "frontend/Cp1250.h"
#include "os/Console.h"

namespace tavrino::cli {
namespace {

constexpr int kAskAttempts = 5;
constexpr size_t kMaxAnswer = 256;

enum class ReadResult { Line, End, Stopped };

// Reads one line from fd, byte by byte so that nothing after the line is taken from the
// input. A signal (Ctrl+C) interrupts the read; Stop then ends the question.
ReadResult ReadAnswerLine(int fd, const std::atomic<bool>& stop, std::string& line) {
  line.clear();
  for (;;) {
    if (stop.load(std::memory_order_relaxed)) return ReadResult::Stopped;
    char c = 0;
    const os::InputRead r = os::ReadInputByte(fd, c);
    if (r == os::InputRead::Interrupted) continue;
    if (r == os::InputRead::End) return line.empty() ? ReadResult::End : ReadResult::Line;
    if (c == '\n') return ReadResult::Line;
    if (line.size() < kMaxAnswer) line.push_back(c);
  }
}

std::string Normalized(const std::string& answer) {
  std::string s;
  for (char c : answer) {
    if (c == ' ' || c == '\t' || c == '\r') continue;
    s.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return s;
}

}  // namespace

std::string BoxText(const std::string& text) {
  std::string out = Cp1250ToUtf8(text);
  for (char& c : out) {
    if (c == '\r') c = '\n';
  }
  return out;
}

bool AskYesNo(Terminal& term, std::ostream& prompt, int inFd, const std::string& text,
              const std::atomic<bool>& stop) {
  const bool echoToLog = &prompt != &term.Out();
  term.BeginMessage();
  bool answer = false;
  std::string line;
  for (int attempt = 0; attempt < kAskAttempts; ++attempt) {
    prompt << (attempt == 0 ? BoxText(text) : std::string("Please answer y or n.")) << " [y/n] "
           << std::flush;
    const ReadResult r = ReadAnswerLine(inFd, stop, line);
    if (r != ReadResult::Line) {
      prompt << '\n';  // the person's Enter did not end the prompt line
      break;
    }
    const std::string a = Normalized(line);
    if (a == "y" || a == "yes") {
      answer = true;
      break;
    }
    if (a == "n" || a == "no") break;
  }
  prompt << std::flush;
  const char* shown = answer ? "y" : "n";
  // The log on standard output keeps the question and the answer taken.
  if (echoToLog) term.Out() << BoxText(text) << " [y/n] " << shown << '\n';
  term.EndMessage();
  return answer;
}

bool TerminalFrontEnd::AskUser(const std::string& text, bool infoOnly) {
  if (infoOnly) {
    term_.PrintMessage(BoxText(text));
    return false;
  }
  if (!interactive_) {
    // Nobody to ask: No is the answer that writes nothing.
    term_.PrintMessage(BoxText(text) + " [y/n] n (no terminal to ask on)");
    return false;
  }
  return AskYesNo(term_, prompt_, inFd_, text, *stop_);
}

void TerminalFrontEnd::ShowWaitBox(bool visible) {
  if (visible) term_.PrintMessage("Wait...");
}

}  // namespace tavrino::cli
