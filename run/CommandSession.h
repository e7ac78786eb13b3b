// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// One command as a front end runs it: the run report from its beginning to the file in the
// report folder, and what to tell about a port that did not open or went away. Both front
// ends use it, so a report holds the same facts and a port's trouble is judged the same,
// whichever of them ran the command; each front end keeps its own way of saying it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "frontend/Outcome.h"
#include "os/HostOs.h"
#include "run/Core.h"
#include "state/RunReport.h"

namespace tavrino {

// What came of saving a command's run report.
struct ReportSaved {
  bool kept = false;              // a report was begun and there is a folder for it
  std::filesystem::path written;  // the new report's path
  size_t removed = 0;             // older reports removed to keep the newest kKeptRunReports
  os::Failure failed;             // why it was not written; empty when it was
  // "run report: PATH", followed by the older reports removed when tellRemoved, or
  // "the run report was not written: WHY"; empty when no report was kept.
  std::string Told(bool tellRemoved) const;
};

// How the port of a command ended, as the person is to hear about it.
struct PortTrouble {
  enum class Kind {
    None,        // it opened and stayed, or the person cancelled the port dialog
    NotOpened,   // the serial layer said why it did not open
    LineGone,    // it opened and went away during the command
    Unexplained  // the command found no port, and the serial layer has no reason
  };
  Kind kind = Kind::None;
  PortFailure failure;

  // The port must be chosen again by the next command: it did not serve this one, and
  // the person did not just decline to choose one.
  bool ForgetPort() const { return kind != Kind::None; }
  // The text front end's sentence: which device was tried and what to do about it (join
  // the device's group, close the other program, map the port with TAVRINO_COMn); port 0
  // when the device was named by its path. Empty when there is nothing to tell.
  std::string Message(uint16_t port) const;
  // The window's two parts of a status line, "Port COM3 (/dev/ttyUSB0):" and the reason
  // ("missing"); the device gives way when the line would not hold both in columns.
  // False when the window has nothing to show: a line that went away has its own line.
  bool StatusLine(uint16_t port, int columns, std::string& label, std::string& reason) const;
};

// What to tell when COM `port` (on `device`) did not open or was lost; `reason` is the
// system's own words, if any. See PortTrouble::Message.
std::string PortOpenMessage(uint16_t port, SerialError error, const std::string& device,
                            const std::string& reason = {});

class CommandSession {
 public:
  // frontEnd names the program in the report ("tavrino", "tavrino-cli").
  explicit CommandSession(std::string frontEnd) : frontEnd_(std::move(frontEnd)) {}

  // Before a command: a report is begun when command names one ("Program", "Test",
  // "Restart", "Restore"); nullptr keeps none.
  void Begin(Core& core, const char* command);
  // A finished status line (Windows-1250), and what a line had no room for (the operating
  // system's string); the report keeps them, in order, while one is open.
  void Line(const std::string& line);
  void InFull(const std::string& text);
  // The person cancelled the port dialog during this command.
  void PortDialogCancelled() { portDialogCancelled_ = true; }

  // After the command: how its port ended.
  PortTrouble Port(const Core& core, Outcome outcome) const;
  // Ends the report and saves it into dir (nothing when no report is open or dir is empty).
  // exitStatus is the one the program ends with; portDevice, when not empty, the device the
  // command was given in place of a COM port.
  ReportSaved Save(const Core& core, Outcome outcome, const std::filesystem::path& dir,
                   int exitStatus, const std::string& portDevice = {});

 private:
  std::string frontEnd_;
  RunReport report_;
  std::vector<std::string> lines_;
  bool reporting_ = false;
  bool portDialogCancelled_ = false;
};

}  // namespace tavrino
