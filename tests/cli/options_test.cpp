// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/Options.h"

#include <gtest/gtest.h>

#include "frontend/Outcome.h"

namespace tavrino::cli {
namespace {

struct Case {
  std::vector<std::string> args;
  Command command;
  std::string file;
  uint16_t port;
  bool unattended;
  bool tryFastSpeeds;
  std::string error;  // a part of the message, empty when the line is good
};

TEST(ParseArguments, PortAsADevicePath) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"test", "a.17", "--port", "/dev/ttyUSB0"}, {"restart", "--port=/dev/ttyUSB0"}}) {
    const ParseResult r = ParseArguments(args);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.port, 0);
    EXPECT_EQ(r.options.portDevice, "/dev/ttyUSB0");
  }
  EXPECT_EQ(ParseArguments({"test", "a.17", "--port", "2"}).options.portDevice, "");
}

TEST(ParseArguments, FormsOptionsAndMistakes) {
  const std::vector<Case> cases = {
      // The desktop program's forms.
      {{"a.17"}, Command::Check, "a.17", 0, false, true, ""},
      {{"a.17", "3"}, Command::Program, "a.17", 3, true, true, ""},
      {{"a.17", "4", "--no-fast-rs"}, Command::Program, "a.17", 4, true, false, ""},
      // The port is compared exactly: no trimming, no leading zero, no prefix.
      {{"a.17", "5"}, Command::None, "", 0, false, true, "PORT must be 1, 2, 3 or 4"},
      {{"a.17", " 3"}, Command::None, "", 0, false, true, "PORT must be"},
      {{"a.17", "03"}, Command::None, "", 0, false, true, "PORT must be"},
      {{"a.17", "COM3"}, Command::None, "", 0, false, true, "PORT must be"},
      {{"a.17", "1", "x"}, Command::None, "", 0, false, true, "too many arguments"},
      {{"a.17", "--port", "2"}, Command::None, "", 0, false, true, "only checked"},
      {{""}, Command::None, "", 0, false, true, "file name is empty"},
      {{}, Command::None, "", 0, false, true, "no firmware file or command"},
      // Explicit commands, options anywhere, both option spellings.
      {{"program", "a.17", "--port", "2"}, Command::Program, "a.17", 2, false, true, ""},
      {{"--port=1", "program", "--unattended", "a.17"},
       Command::Program,
       "a.17",
       1,
       true,
       true,
       ""},
      {{"test", "a.17", "--port", "1", "--no-fast-rs", "--fast-rs"},
       Command::Test,
       "a.17",
       1,
       false,
       true,
       ""},
      {{"restart", "--port", "4"}, Command::Restart, "", 4, false, true, ""},
      {{"check", "b.17"}, Command::Check, "b.17", 0, false, true, ""},
      {{"check", "--", "-odd.17"}, Command::Check, "-odd.17", 0, false, true, ""},
      {{"program", "a.17"}, Command::None, "", 0, false, true, "program needs --port"},
      {{"test", "--port", "1"}, Command::None, "", 0, false, true, "test needs a FILE"},
      {{"restart", "a.17", "--port", "1"}, Command::None, "", 0, false, true, "too many"},
      {{"check", "a.17", "--port", "1"}, Command::None, "", 0, false, true, "does not use a port"},
      {{"program", "a.17", "--port", "0"}, Command::None, "", 0, false, true, "--port takes 1"},
      {{"program", "a.17", "--port"}, Command::None, "", 0, false, true, "--port needs a value"},
      {{"program", "a.17", "--port", "ttyUSB0"}, Command::None, "", 0, false, true, "device path"},
      {{"a.17", "/dev/ttyUSB0"}, Command::None, "", 0, false, true, "PORT must be"},
      {{"ports"}, Command::Ports, "", 0, false, true, ""},
      {{"ports", "a.17"}, Command::None, "", 0, false, true, "ports takes no FILE"},
      {{"ports", "--port", "1"}, Command::None, "", 0, false, true, "takes no --port"},
      {{"check", "a.17", "--trace="}, Command::None, "", 0, false, true, "--trace needs a file"},
      {{"a.17", "1", "--updaters="},
       Command::None,
       "",
       0,
       false,
       true,
       "--updaters needs a folder"},
      {{"check", "a.17", "--verbose"},
       Command::None,
       "",
       0,
       false,
       true,
       "unknown option '--verbose'"},
      // Help and version answer whatever else is on the line.
      {{"program", "--help"}, Command::Help, "", 0, false, true, ""},
      {{"--bogus", "--version"}, Command::Version, "", 0, false, true, ""},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += "'" + a + "' ";
    SCOPED_TRACE(line);
    const ParseResult r = ParseArguments(c.args);
    if (!c.error.empty()) {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
      continue;
    }
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.command, c.command);
    if (c.command == Command::Help || c.command == Command::Version) continue;
    EXPECT_EQ(r.options.file, c.file);
    EXPECT_EQ(r.options.port, c.port);
    EXPECT_EQ(r.options.unattended, c.unattended);
    EXPECT_EQ(r.options.tryFastSpeeds, c.tryFastSpeeds);
  }
}

TEST(ParseArguments, BackupCommands) {
  struct BackupCase {
    std::vector<std::string> args;
    Command command;
    std::string path;
    std::string error;
    bool force = false;
  };
  const BackupCase cases[] = {
      {{"backup", "--port", "2"}, Command::Backup, "", ""},
      {{"backup", "mine.tavrec", "--port=1"}, Command::Backup, "mine.tavrec", ""},
      {{"backups"}, Command::Backups, "", ""},
      {{"backup"}, Command::None, "", "backup needs --port"},
      {{"backup", "a", "b", "--port", "1"}, Command::None, "", "too many arguments for backup"},
      {{"backups", "--port", "1"}, Command::None, "", "backups does not use a port"},
      {{"backups", "a", "b"}, Command::None, "", "backups takes at most one FILE"},
      {{"backup", "--force", "mine.tavrec", "--port=1"}, Command::Backup, "mine.tavrec", "", true},
      // Only a FILE the user names can be replaced.
      {{"backup", "--port", "1", "--force"}, Command::None, "", "--force only goes with backup"},
      {{"test", "a.17", "--port", "1", "--force"}, Command::None, "", "--force only goes with"},
      {{"restore", "--force", "b.tavrec", "--port=1"}, Command::None, "", "--force only goes"},
      // One file described, or brought back into the panel.
      {{"backups", "b.tavrec"}, Command::Show, "b.tavrec", ""},
      {{"show", "b.tavrec"}, Command::Show, "b.tavrec", ""},
      {{"show"}, Command::None, "", "show needs a FILE"},
      {{"show", "a", "b"}, Command::None, "", "show takes at most one FILE"},
      {{"show", "b.tavrec", "--port", "1"}, Command::None, "", "show does not use a port"},
      {{"restore", "b.tavrec", "--port", "2"}, Command::Restore, "b.tavrec", ""},
      {{"restore", "--port", "2"}, Command::None, "", "restore needs one FILE"},
      {{"restore", "b.tavrec"}, Command::None, "", "restore needs --port"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : c.args[0]);
    const ParseResult r = ParseArguments(c.args);
    if (!c.error.empty()) {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
      continue;
    }
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.command, c.command);
    EXPECT_EQ(r.options.backupPath, c.path);
    EXPECT_EQ(r.options.force, c.force);
  }
}

TEST(ParseArguments, CheckSettingsGoesWithProgramOnly) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"program", "a.17", "--port", "1", "--check-settings"},
                                             {"a.17", "2", "--check-settings"}}) {
    const ParseResult r = ParseArguments(args);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_TRUE(r.options.checkSettings);
  }
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"test", "a.17", "--port", "1", "--check-settings"},
           {"restore", "b.tavrec", "--port", "1", "--check-settings"}})
    EXPECT_NE(ParseArguments(args).error.find("--check-settings goes with program"),
              std::string::npos);
}

TEST(ParseArguments, KeypadTraceAndUpdatersOptions) {
  const ParseResult r = ParseArguments(
      {"test", "a.17", "--keypad", "--trace", "t.txt", "--port", "2", "--updaters", "/u"});
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_TRUE(r.options.keypad);
  EXPECT_EQ(r.options.tracePath, "t.txt");
  EXPECT_EQ(r.options.updatersDir, "/u");
}

TEST(UsageText, DocumentsEveryExitCodeAndThePortMapping) {
  const std::string usage = UsageText();
  for (int o = static_cast<int>(Outcome::Updated); o <= static_cast<int>(Outcome::Refused); ++o) {
    const std::string row = "\n  " + std::to_string(ExitCode(static_cast<Outcome>(o))) + "  ";
    EXPECT_NE(usage.find(row), std::string::npos) << OutcomeName(static_cast<Outcome>(o));
  }
  EXPECT_NE(usage.find("\n  1  bad command line"), std::string::npos);
  EXPECT_NE(usage.find("TAVRINO_COM1"), std::string::npos);
}

}  // namespace
}  // namespace tavrino::cli
