// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "cli/Terminal.h"
#include "frontend/FrontEnd.h"

namespace tavrino::cli {

// A box text for the terminal: Windows-1250 decoded, every CR or LF a line break.
std::string BoxText(const std::string& text);

// Asks a question on the terminal: the question's text exactly, then " [y/n] ", and reads a
// line from inFd. y/Y (or yes) is Yes; n/N (or no), end of input and Stop are No. Anything
// else asks again, a few times, then counts as No.
bool AskYesNo(Terminal& term, std::ostream& prompt, int inFd, const std::string& text,
              const std::atomic<bool>& stop);

// The front end of tavrino-cli. Questions go to the person at the terminal; information
// boxes are printed and never wait; there are no dialogs: the file and the port come from
// the command line.
class TerminalFrontEnd : public FrontEnd {
 public:
  // interactive: standard input is a terminal a person answers on. prompt: where the
  // question is shown (the terminal the person looks at).
  TerminalFrontEnd(Terminal& term, std::ostream& prompt, int inFd, bool interactive)
      : term_(term), prompt_(prompt), inFd_(inFd), interactive_(interactive) {}
  // The stop flag that ends a question waiting for its answer (the host's StopRequested).
  void WatchStop(const std::atomic<bool>& stop) { stop_ = &stop; }

  bool AskUser(const std::string& text, bool infoOnly) override;
  // Ctrl+C and SIGTERM set the stop flag from their handler; there is nothing to pump.
  void ProcessMessages() override {}
  // The terminal's status lines already name the file and the port.
  void ShowFile(const std::string&) override {}
  void ShowFileVersion(const std::string& text) override { fileVersion_ = text; }
  void ShowPortSpeed(const std::string&) override {}
  void ShowWaitBox(bool visible) override;
  bool ChooseFirmwareFile(std::string&) override { return false; }
  bool ChoosePortDialog(const std::array<bool, 4>&, uint16_t&, bool&) override { return false; }
  void RequestQuit() override { quitRequested_ = true; }
  void LineInFull(const std::string& text) override {
    if (inFull_) inFull_(text);
  }
  // Where LineInFull goes (the run report's line tap).
  void SetLineInFull(std::function<void(const std::string&)> inFull) {
    inFull_ = std::move(inFull);
  }

  const std::string& FileVersion() const { return fileVersion_; }
  bool QuitRequested() const { return quitRequested_; }

 private:
  Terminal& term_;
  std::ostream& prompt_;
  int inFd_;
  bool interactive_;
  const std::atomic<bool>* stop_ = &kNeverStopped;
  static inline const std::atomic<bool> kNeverStopped{false};
  std::string fileVersion_;
  bool quitRequested_ = false;
  std::function<void(const std::string&)> inFull_;
};

}  // namespace tavrino::cli
