// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/Options.h"

#include <optional>

#include "serial/PortArgument.h"

namespace tavrino::cli {
namespace {

// Takes the value of an option given as "--name VALUE" or "--name=VALUE".
std::optional<std::string> OptionValue(const std::vector<std::string>& args, size_t& i,
                                       const std::string& name, std::string& error) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
    return arg.substr(name.size() + 1);
  }
  if (i + 1 >= args.size()) {
    error = name + " needs a value";
    return std::nullopt;
  }
  return args[++i];
}

bool IsOption(const std::string& arg, const std::string& name) {
  return arg == name || arg.rfind(name + "=", 0) == 0;
}

Command CommandWord(const std::string& word) {
  if (word == "program") return Command::Program;
  if (word == "test") return Command::Test;
  if (word == "restart") return Command::Restart;
  if (word == "check") return Command::Check;
  if (word == "ports") return Command::Ports;
  return Command::None;
}

const char* CommandName(Command c) {
  switch (c) {
    case Command::Program:
      return "program";
    case Command::Test:
      return "test";
    case Command::Restart:
      return "restart";
    case Command::Check:
      return "check";
    case Command::Ports:
      return "ports";
    default:
      return "";
  }
}

bool IsBackupWord(const std::string& word) {
  return word == "backup" || word == "backups" || word == "show" || word == "restore";
}

// backup --port N [FILE], backups [FILE], show FILE and restore --port N FILE: the
// settings kept on this computer.
std::string ApplyBackupPositionals(const std::vector<std::string>& positional, bool portGiven,
                                   Options& o) {
  const std::string& word = positional[0];
  if (word == "backups" || word == "show") {
    o.command = positional.size() > 1 ? Command::Show : Command::Backups;
    if (word == "show" && positional.size() < 2) return "show needs a FILE";
    if (positional.size() > 2) return word + " takes at most one FILE";
    if (portGiven) return word + " does not use a port";
    if (positional.size() > 1) o.backupPath = positional[1];
    if (o.command == Command::Show && o.backupPath.empty()) return "the file name is empty";
    return {};
  }
  if (word == "restore") {
    o.command = Command::Restore;
    if (positional.size() != 2) return "restore needs one FILE: the settings backup";
    if (!portGiven) return "restore needs --port N (1..4 for COM1..COM4) or --port DEVICE";
    if (positional[1].empty()) return "the backup file name is empty";
    o.backupPath = positional[1];
    return {};
  }
  o.command = Command::Backup;
  if (positional.size() > 2) return "too many arguments for backup";
  if (!portGiven) return "backup needs --port N (1..4 for COM1..COM4)";
  if (positional.size() == 2) {
    if (positional[1].empty()) return "the backup file name is empty";
    o.backupPath = positional[1];
  }
  return {};
}

// Checks the positional arguments against the command and fills in the options.
std::string ApplyPositionals(const std::vector<std::string>& positional, bool portGiven,
                             Options& o) {
  if (positional.empty()) return "no firmware file or command given";
  if (IsBackupWord(positional[0])) return ApplyBackupPositionals(positional, portGiven, o);
  const Command word = CommandWord(positional[0]);
  if (word == Command::None) {
    // The desktop program's forms: FILE, or FILE PORT for an unattended Program.
    if (positional.size() > 2) return "too many arguments";
    o.file = positional[0];
    if (positional.size() == 1) {
      o.command = Command::Check;
      if (portGiven) {
        return "a lone FILE is only checked; to program the panel use: tavrino-cli program "
               "FILE --port N";
      }
    } else {
      if (portGiven) return "the port is given twice";
      o.port = PortNumberArgument(positional[1]);
      if (o.port == 0) return "PORT must be 1, 2, 3 or 4 (COM1..COM4), not '" + positional[1] + "'";
      o.command = Command::Program;
      o.unattended = true;
    }
  } else {
    o.command = word;
    if (word == Command::Ports) {
      if (positional.size() > 1) return "ports takes no FILE";
      if (portGiven) return "ports lists every port: it takes no --port";
      return {};
    }
    const size_t wanted = word == Command::Restart ? 1 : 2;
    if (positional.size() < wanted) return std::string(CommandName(word)) + " needs a FILE";
    if (positional.size() > wanted)
      return "too many arguments for " + std::string(CommandName(word));
    if (wanted == 2) o.file = positional[1];
    if (word == Command::Check && portGiven) return "check does not use a port";
    if (word != Command::Check && !portGiven) {
      return std::string(CommandName(word)) +
             " needs --port N (1..4 for COM1..COM4) or --port DEVICE";
    }
  }
  if (o.command != Command::Restart && o.file.empty()) return "the firmware file name is empty";
  return {};
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
  ParseResult r;
  Options& o = r.options;
  std::vector<std::string> positional;
  bool portGiven = false;
  // Help and version answer whatever else the line holds.
  for (const auto& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      o.command = Command::Help;
      return r;
    }
    if (arg == "--version") o.command = Command::Version;
  }
  if (o.command == Command::Version) return r;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size() && r.error.empty(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--unattended") {
      o.unattended = true;
    } else if (arg == "--fast-rs") {
      o.tryFastSpeeds = true;
    } else if (arg == "--no-fast-rs") {
      o.tryFastSpeeds = false;
    } else if (arg == "--keypad") {
      o.keypad = true;
    } else if (arg == "--force") {
      o.force = true;
    } else if (arg == "--check-settings") {
      o.checkSettings = true;
    } else if (IsOption(arg, "--port")) {
      const auto value = OptionValue(args, i, "--port", r.error);
      if (!value) break;
      const PortArgument port = ParsePortArgument(*value, true);
      o.port = port.number;
      o.portDevice = port.device;
      portGiven = true;
      if (!port.Valid()) {
        r.error =
            "--port takes 1, 2, 3 or 4 (COM1..COM4) or a device path such as "
            "/dev/ttyUSB0, not '" +
            *value + "'";
      }
    } else if (IsOption(arg, "--trace")) {
      const auto value = OptionValue(args, i, "--trace", r.error);
      if (!value) break;
      if (value->empty()) r.error = "--trace needs a file name";
      o.tracePath = *value;
    } else if (IsOption(arg, "--updaters")) {
      const auto value = OptionValue(args, i, "--updaters", r.error);
      if (!value) break;
      if (value->empty()) r.error = "--updaters needs a folder";
      o.updatersDir = *value;
    } else {
      r.error = "unknown option '" + arg + "'";
    }
  }
  if (r.error.empty()) r.error = ApplyPositionals(positional, portGiven, o);
  if (r.error.empty() && o.force && (o.command != Command::Backup || o.backupPath.empty()))
    r.error = "--force only goes with backup --port N FILE (it lets FILE be replaced)";
  if (r.error.empty() && o.checkSettings && o.command != Command::Program)
    r.error = "--check-settings goes with program (a restore always reads the settings back)";
  return r;
}

}  // namespace tavrino::cli
