// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace tavrino {

// Everything the core asks of a front end (desktop window, terminal, or a test script).
// All texts are the system's single-byte Windows-1250 strings.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;

  // Modal box. infoOnly: "Information" box with "&Ok", always returns false.
  // Otherwise a "Question" box with "&Yes"/"&No", true only for Yes.
  // CR (0x0D) and LF (0x0A) both break lines.
  virtual bool AskUser(const std::string& text, bool infoOnly) = 0;

  // Processes pending window messages / terminal input once. Never blocks.
  // This is where Stop (button, Ctrl+S, Ctrl+C) gets served during a command.
  virtual void ProcessMessages() = 0;

  // The firmware file now loaded, by its path (empty: none is). The operating system's
  // string, not a code-page text.
  virtual void ShowFile(const std::string& path) = 0;
  // The program version of that file (empty: none loaded).
  virtual void ShowFileVersion(const std::string& text) = 0;
  // The port chosen and the speed the link runs at (" COM2 9600 bps"; empty: none).
  virtual void ShowPortSpeed(const std::string& text) = 0;
  // The wait box shown while the panel restarts.
  virtual void ShowWaitBox(bool visible) = 0;

  // The open dialog ("Choose QZ-17 program", "QZ-17 program (*.17)|*.17").
  // path comes in pre-filled and goes out chosen; false when cancelled.
  // Paths are the operating system's strings and are never cut short.
  virtual bool ChooseFirmwareFile(std::string& path) = 0;

  // The port dialog "Choose port". available[i] tells whether COM(i+1) opened.
  // tryFastSpeeds comes in as the box's initial state (checked) and goes out as chosen.
  // Returns false when cancelled.
  virtual bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                                bool& tryFastSpeeds) = 0;

  // An internal consistency error asks the application to end.
  virtual void RequestQuit() = 0;

  // What the log's current line had no room for, in full: the whole path of a file the line
  // names by its name alone, or a folder it leaves out. The operating system's string, not a
  // code-page text. It goes into the run report right after its line and, from tavrino-cli,
  // to standard error; the display keeps to its columns.
  virtual void LineInFull(const std::string& /*text*/) {}
};

}  // namespace tavrino
