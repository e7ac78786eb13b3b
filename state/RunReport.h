// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The report of one Program, Test or Restart: what the technician saw, the versions, the port
// and speed, when it ran and how it ended, kept as a small text file so that support can be
// shown what happened on site.
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "os/HostOs.h"

namespace tavrino {

struct RunReport {
  std::string command;   // "Program", "Test", "Restart"
  std::string frontEnd;  // "tavrino", "tavrino-cli"
  std::chrono::system_clock::time_point started;
  std::chrono::system_clock::time_point ended;
  std::string outcome;  // "updated", "no connection", ...
  int exitStatus = 0;
  std::string file;                // the firmware file's path; empty for Restart
  std::string fileVersion;         // "1.04.02 eng"; empty when no file loaded
  std::string panelVersion;        // "1.03.05 pol"; empty when not read
  std::string port;                // "COM1 (/dev/ttyUSB0)"
  std::string speed;               // "57600 bps"; empty when the port never opened
  std::vector<std::string> lines;  // the status lines, UTF-8, as the display showed them
};

// How many reports the folder keeps; the oldest go first.
inline constexpr size_t kKeptRunReports = 200;
inline constexpr int kRunReportFormat = 1;

// The report as text: a header line with the format version, one "name: value" line each,
// the status lines indented, and a last line with the SHA-256 of everything above it.
std::string FormatRunReport(const RunReport& report);
// Empty when text is a whole report of a format this program reads, else why not.
os::Failure CheckRunReport(const std::string& text);

// $XDG_STATE_HOME/tavrino/runs (see os::StateDir); empty with the reason when there is none.
std::filesystem::path RunReportDir(os::Failure& reason);
// Writes the report as a new file in dir (the folders made private when made here and
// refused when another user could have put files there, the name claimed exclusively, the
// file 0600 and written whole or not at all), then removes the oldest reports beyond
// kKeptRunReports by the time each was written, never the new one. written gets the new
// file's path, removed how many older reports went.
os::Failure SaveRunReport(const std::filesystem::path& dir, const RunReport& report,
                          std::filesystem::path& written, size_t& removed);
os::Failure SaveRunReport(const std::filesystem::path& dir, const RunReport& report,
                          std::filesystem::path& written);

// "2026-12-10T14:20:31Z"
std::string UtcTimeText(std::chrono::system_clock::time_point when);

}  // namespace tavrino
