// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrino::cli {

// What the command line asks for.
enum class Command {
  None,
  Check,
  Program,
  Test,
  Restart,
  Ports,
  Help,
  Version,
  Backup,
  Backups,
  Show,     // backups FILE, show FILE: what one record or backup holds
  Restore,  // restore --port N FILE
};

struct Options {
  Command command = Command::None;
  std::string file;         // the firmware file, the operating system's path, never cut short
  uint16_t port = 0;        // 1..4 = COM1..COM4, 0 = none given
  std::string portDevice;   // --port PATH: this device instead of a COMn (port stays 0)
  bool unattended = false;  // Program without questions (implied by the positional FILE PORT form)
  bool tryFastSpeeds = true;  // ask the Starter for a faster link
  bool keypad = false;        // print every keypad text the tool sends
  std::string tracePath;      // --trace FILE; empty = no trace
  std::string updatersDir;    // --updaters DIR; empty = $TAVRINO_UPDATERS or the installed folder
  // backup [FILE]: where the settings go (empty = a new file of backups/); restore FILE,
  // backups FILE, show FILE: the record or backup file to use or describe.
  std::string backupPath;
  bool force = false;          // --force: backup may replace an existing FILE
  bool checkSettings = false;  // --check-settings: program reads the settings back
};

struct ParseResult {
  Options options;
  std::string error;  // empty when the command line is good
  bool ok() const { return error.empty(); }
};

// Parses argv[1..]. Forms: FILE (check), FILE PORT (unattended Program), and the commands
// program FILE --port N, test FILE --port N, restart --port N, check FILE, ports,
// backup --port N [FILE], backups [FILE], show FILE, restore --port N FILE, with options
// anywhere. PORT is exactly "1".."4", with no trimming or prefixes; --port also
// takes a device path.
ParseResult ParseArguments(const std::vector<std::string>& args);

// The --help text, exit codes and TAVRINO_COMn included.
std::string UsageText();
std::string VersionText();

}  // namespace tavrino::cli
