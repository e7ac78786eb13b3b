// SPDX-License-Identifier: GPL-2.0-or-later
// Whole commands of tavrino-cli on the in-process simulated panel and the fake clock: what
// the person sees, the exit status, and what reached the panel.
#include "cli/Commands.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/SampleProgram.h"
#include "firmware/Packer.h"
#include "sim/InProcessLine.h"
#include "sim/SimulatedPanel.h"
#include "state/RecordStore.h"
#include "state/RunReport.h"
#include "support/PanelRig.h"

namespace tavrino::cli {
namespace {

namespace fs = std::filesystem;

class CliCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrino-cli-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    VersionStamp stamp;
    std::string error;
    ASSERT_TRUE(ParseVersionStamp("1.04.02:1", stamp, error)) << error;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(PackFirmware({test::SampleHalf()}, &stamp, bytes, error)) << error;
    file_ = (dir_ / "sample.17").string();
    ASSERT_TRUE(WriteFileAtomically(file_, bytes, error)) << error;
    // The panel in the field: program 1.03.05 pol with settings of the data format 103.
    panel_.SynthesizeProgram("1.03.05", 0);
    panel_.FillSettings(103);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs tavrino-cli with these arguments; typed is what the person answers (interactive).
  int Run(const std::vector<std::string>& args, const std::string& typed = "",
          bool interactive = false, const std::function<void(std::atomic<bool>&)>& started = {}) {
    const ParseResult parsed = ParseArguments(args);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    close(fds[1]);
    out_.str("");
    err_.str("");
    Terminal term(out_, false);
    Console console{term, err_, out_, fds[0], interactive, reportDir_};
    const int status = RunCommand(parsed.options, line_, clock_, console, started);
    close(fds[0]);
    return status;
  }
  bool Shows(const std::string& text) const { return out_.str().find(text) != std::string::npos; }

  fs::path dir_;
  fs::path reportDir_;  // empty: no run reports
  std::string file_;
  FakeClock clock_{1000};
  test::FakeTime time_{clock_};
  sim::SimulatedPanel panel_;
  sim::InProcessLine line_{panel_, time_};
  std::ostringstream out_, err_;
};

TEST_F(CliCommand, CheckTellsGoodFromMissingFiles) {
  EXPECT_EQ(Run({file_}), 0);
  EXPECT_TRUE(Shows("File checking:                                           ok\n"));
  EXPECT_TRUE(Shows("Program in file: 1.04.02 eng\n"));
  EXPECT_EQ(panel_.RequestCount(), 0u);
}

// Whatever keeps the file from being read, the person sees the same box and the system's
// own reason on the line under it, and the command ends with the file's status.
TEST_F(CliCommand, FilesThatCannotBeReadSayWhy) {
  struct Case {
    std::vector<std::string> args;
    const char* reason;
  };
  const std::string missing = (dir_ / "none.17").string();
  const Case cases[] = {
      {{"check", missing}, "No such file or directory"},
      {{"check", dir_.string()}, "Is a directory"},
      {{"check", (dir_ / std::string(300, 'a')).string()}, "File name too long"},
      {{missing, "1"}, "No such file or directory"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), 2) << c.reason;
    EXPECT_TRUE(Shows("Selected file does not exist.\nCannot open the file: " +
                      std::string(c.reason) + "\nFailed: the firmware file was not loaded.\n"))
        << out_.str();
  }
  EXPECT_EQ(panel_.RequestCount(), 0u);
}

TEST_F(CliCommand, UnattendedProgramConvertsTheSettingsAndEchoesKeypadAndFrames) {
  const std::string trace = (dir_ / "trace.txt").string();
  EXPECT_EQ(Run({file_, "1", "--keypad", "--trace", trace}), 0) << out_.str() << err_.str();
  for (const char* line :
       {"Connecting:", "Programs comparison:", "FLASH erasing:", "FLASH programing:",
        "Data recovering:", "Data conversion:", "Verification:", "Restarting panel"}) {
    EXPECT_TRUE(Shows(line)) << line << "\n" << out_.str();
  }
  EXPECT_TRUE(Shows("Keypad: upper [Tavrino v4.06   ] lower [Express mode    ]\n")) << out_.str();
  EXPECT_TRUE(Shows("Done: the panel's program was updated.\n"));
  EXPECT_GT(panel_.CommandCount(0x65), 0u);

  std::ifstream in(trace);
  const std::string frames((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* entry : {"-> identify\n", "<- data (0x92)", "-> erase sector 0\n",
                            "-> write flash 0x000000, 256 bytes\n", "-> restart\n"}) {
    EXPECT_NE(frames.find(entry), std::string::npos) << entry;
  }
}

// A settings block the panel refuses ends the run with the no-connection line, as a
// silent panel does, but the exit status tells the two apart.
TEST_F(CliCommand, RefusedSettingsWriteExitsAsRefusedUnderTheSameLine) {
  struct Case {
    const char* what;
    std::function<void(sim::Faults&)> fault;
    int status;
    const char* closing;
  };
  const Case cases[] = {
      {"refused", [](sim::Faults& f) { f.refuseCommands = {0x81}; }, 5,
       "Failed: the panel refused or reported an error.\n"},
      {"silent", [](sim::Faults& f) { f.silentCommands = {0x81}; }, 4,
       "Failed: no connection with the panel.\n"},
  };
  for (const auto& c : cases) {
    panel_.SynthesizeProgram("1.03.05", 0);
    panel_.FillSettings(103);
    panel_.FaultSettings() = {};
    c.fault(panel_.FaultSettings());
    EXPECT_EQ(Run({file_, "1"}), c.status) << c.what << "\n" << out_.str();
    EXPECT_TRUE(
        Shows("Data conversion:                         BRAK po\xC5\x82\xC4\x85"
              "czenia RS\n"))
        << c.what << "\n"
        << out_.str();
    EXPECT_TRUE(Shows(c.closing)) << c.what;
  }
}

TEST_F(CliCommand, ProgramAsksOnTheTerminalAndNoWritesNothing) {
  EXPECT_EQ(Run({"program", file_, "--port", "1"}, "n\nn\nn\nn\n", true), 6) << out_.str();
  EXPECT_TRUE(Shows(" [y/n] ")) << out_.str();
  EXPECT_TRUE(Shows("Cancelled: a question was answered No.\n"));
  EXPECT_EQ(panel_.CommandCount(0x66), 0u);
  EXPECT_EQ(panel_.CommandCount(0x65), 0u);
}

TEST_F(CliCommand, RefusesToStartWhatItCannotDoSafely) {
  // Program without a terminal to ask on.
  EXPECT_EQ(Run({"program", file_, "--port", "1"}), 1);
  EXPECT_NE(err_.str().find("--unattended"), std::string::npos);
  // A trace that would overwrite the firmware file, by another name.
  const auto size = fs::file_size(file_);
  EXPECT_EQ(Run({file_, "1", "--trace", (dir_ / "." / "sample.17").string()}), 1);
  EXPECT_NE(err_.str().find("the trace file is the firmware file"), std::string::npos);
  EXPECT_EQ(fs::file_size(file_), size);
  EXPECT_EQ(panel_.RequestCount(), 0u);
}

// The trace is taken only where it can be written without waiting and read back: a
// regular file or a terminal. Everything else is refused before any work.
TEST_F(CliCommand, TraceGoesOnlyToAFileOrATerminal) {
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string trace;
    std::string message;
  };
  const Case cases[] = {
      {fifo, "the trace file " + fifo + " is not a regular file or a terminal"},
      {"/dev/full", "the trace file /dev/full is not a regular file or a terminal"},
      {dir_.string(), "the trace file " + dir_.string() + " is not a regular file or a terminal"},
      {(dir_ / "none" / "t.txt").string(), "cannot write the trace file " +
                                               (dir_ / "none" / "t.txt").string() +
                                               ": No such file or directory"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run({file_, "1", "--trace", c.trace}), 1) << c.trace;
    EXPECT_EQ(err_.str(), "tavrino-cli: " + c.message + "\n");
  }
  EXPECT_EQ(panel_.RequestCount(), 0u);

  // A new file is the user's alone: it holds the panel's settings.
  const std::string fresh = (dir_ / "fresh.txt").string();
  EXPECT_EQ(Run({"check", file_, "--trace", fresh}), 0);
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // A terminal is taken.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  EXPECT_EQ(Run({"check", file_, "--trace", ptsname(master)}), 0) << err_.str();
  close(master);
}

// A trace that fails half-way does not stop the update, and is reported once at the end.
TEST_F(CliCommand, ATraceWriteErrorIsReportedOnceAndTheRunGoesOn) {
  const std::string trace = (dir_ / "trace.txt").string();
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  // The trace of a whole run outgrows it half way; the recovery record, kept on this
  // computer before the panel is changed, is well under it.
  small.rlim_cur = 1000000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int status = Run({file_, "1", "--trace", trace});
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(status, 0) << out_.str() << err_.str();
  EXPECT_TRUE(Shows("Done: the panel's program was updated.\n"));
  EXPECT_EQ(err_.str(), "tavrino-cli: the trace file " + trace +
                            " could not be written (File too large); the trace stops where "
                            "that happened\n");
  EXPECT_LE(fs::file_size(trace), 1000000u);
}

TEST_F(CliCommand, RestartAndAPortThatDoesNotOpen) {
  EXPECT_EQ(Run({"restart", "--port", "1"}), 0);
  EXPECT_TRUE(Shows("Restarting panel                                         ok\n")) << out_.str();

  line_.SetAvailableDevices({"COM2"});
  EXPECT_EQ(Run({"restart", "--port", "1"}), 3);
  EXPECT_EQ(out_.str(), "Failed: the serial port could not be opened.\n");
  EXPECT_NE(err_.str().find("COM1 ("), std::string::npos) << err_.str();
}

TEST_F(CliCommand, APortGivenByItsPathAndTheRunReportOfEachCommand) {
  reportDir_ = dir_ / "runs";
  line_.SetAvailableDevices({"/dev/ttyUSB3"});
  EXPECT_EQ(Run({"restart", "--port", "/dev/ttyUSB3"}), 0) << err_.str();
  EXPECT_EQ(line_.Device(), "/dev/ttyUSB3");
  const std::string told = "tavrino-cli: run report: ";
  const size_t at = err_.str().find(told);
  ASSERT_NE(at, std::string::npos) << err_.str();
  const std::string path =
      err_.str().substr(at + told.size(), err_.str().find('\n', at) - at - told.size());
  std::ifstream in(path);
  const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(CheckRunReport(report), "");
  for (const char* part : {"command: Restart\n", "front end: tavrino-cli\n", "port: /dev/ttyUSB3\n",
                           "outcome: restarted (exit status 0)\n",
                           "\n  Restarting panel                                         ok\n"}) {
    EXPECT_NE(report.find(part), std::string::npos) << part << report;
  }

  EXPECT_EQ(Run({"restart", "--port", "/dev/ttyUSB4"}), 3);
  EXPECT_NE(err_.str().find("/dev/ttyUSB4 does not exist."), std::string::npos) << err_.str();
  EXPECT_EQ(err_.str().find("COM1"), std::string::npos) << "no COMn stands for a path";
  EXPECT_NE(err_.str().find(told), std::string::npos) << "a failed command keeps its report too";

  EXPECT_EQ(Run({file_}), 0);
  EXPECT_EQ(err_.str().find(told), std::string::npos) << "checking a file is no run";
  EXPECT_EQ(std::distance(fs::directory_iterator(reportDir_), fs::directory_iterator()), 2);
}

TEST_F(CliCommand, StopEndsTheCommandAndTheLastLineSaysSo) {
  const int status =
      Run({"test", file_, "--port", "1"}, "", false, [](std::atomic<bool>& stop) { stop = true; });
  EXPECT_EQ(status, 7);
  const std::string out = out_.str();
  // The log says it on the line after the stopped step's status; the closing line last.
  const std::string end = "Stopped by the user.\nStopped: the command did not finish.\n";
  ASSERT_GE(out.size(), end.size()) << out;
  EXPECT_EQ(out.substr(out.size() - end.size()), end) << out;
}

// A line with no room for a whole path names the file by its name, or not at all; the whole
// path goes to standard error, between the log's lines, and into the run report.
TEST_F(CliCommand, WhatALineHasNoRoomForGoesToStandardErrorAndTheReport) {
  const fs::path state = test::FreshStateForThisTest();
  fs::create_directories(state / "recovery");
  const fs::path bad = state / "recovery" / "copied-from-the-laptop-of-the-other-technician.tavrec";
  { std::ofstream(bad) << "not a record at all"; }
  reportDir_ = dir_ / "runs";

  EXPECT_EQ(Run({file_, "1"}), 0) << out_.str() << err_.str();
  const std::string shown = "Record:                                        not a record\n";
  EXPECT_TRUE(Shows(shown)) << out_.str();
  for (const auto& line : [&] {
         std::vector<std::string> lines;
         std::istringstream in(out_.str());
         for (std::string l; std::getline(in, l);) lines.push_back(l);
         return lines;
       }()) {
    if (line.rfind("Done", 0) == 0 || line.rfind("Failed", 0) == 0) continue;
    EXPECT_LE(line.size(), 59u) << line;
  }
  const std::string inFull = "Record " + bad.string() + ": not a record";
  EXPECT_NE(err_.str().find("tavrino-cli: " + inFull + "\n"), std::string::npos) << err_.str();

  std::vector<fs::path> reports;
  for (const auto& e : fs::directory_iterator(reportDir_)) reports.push_back(e.path());
  ASSERT_EQ(reports.size(), 1u);
  std::ifstream in(reports[0]);
  const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(report.find("  " + shown + "  " + inFull + "\n"), std::string::npos) << report;
}

// The settings kept on this computer, read without changing the panel, and listed with
// whose they are; a file that cannot be used is named with its reason.
TEST_F(CliCommand, BackupKeepsTheSettingsAndBackupsListsThem) {
  const fs::path state = test::FreshStateForThisTest();
  const std::vector<uint8_t> flash = panel_.Flash(), memory1 = panel_.Memory1(),
                             memory2 = panel_.Memory2();
  EXPECT_EQ(Run({"backup", "--port", "1"}), 0) << out_.str() << err_.str();
  EXPECT_TRUE(Shows("Done: the panel's settings were kept on this computer.")) << out_.str();
  EXPECT_TRUE(panel_.Flash() == flash && panel_.Memory1() == memory1 && panel_.Memory2() == memory2)
      << "the panel is not changed";

  std::vector<fs::path> kept;
  for (const auto& e : fs::directory_iterator(state / "backups")) kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  const state::StoredRecord stored = state::ReadRecordFile(kept[0]);
  ASSERT_TRUE(stored.Usable()) << stored.Why();
  std::vector<uint8_t> memories = memory1;
  memories.insert(memories.end(), memory2.begin(), memory2.end());
  EXPECT_TRUE(stored.record.memoriesRead == memories);
  EXPECT_TRUE(stored.record.sector6Saved ==
              std::vector<uint8_t>(flash.begin() + 0x64000, flash.begin() + 0x70000));
  EXPECT_EQ(stored.record.dataCode, "103");

  const fs::path named = dir_ / "mine.tavrec";
  EXPECT_EQ(Run({"backup", named.string(), "--port", "1"}), 0);
  EXPECT_TRUE(state::ReadRecordFile(named).Usable());

  fs::copy_file(kept[0], state / "backups" / "damaged.tavrec");
  { std::ofstream(state / "backups" / "damaged.tavrec", std::ios::in | std::ios::out) << "X"; }
  EXPECT_EQ(Run({"backups"}), 0);
  EXPECT_TRUE(Shows(kept[0].filename().string() + "  ")) << out_.str();
  EXPECT_TRUE(Shows("AMD Am29F040, 1.03.05 pol, data 103  backup\n")) << out_.str();
  EXPECT_TRUE(Shows("damaged.tavrec  cannot be used: not a record\n")) << out_.str();
  EXPECT_TRUE(Shows("Unfinished updates in " + (state / "recovery").string() + ":\n  none\n"))
      << out_.str();
}

// One file described, never its settings (the panel's names and user codes); a restore
// of it asks like program, exits 0 once the panel holds it again, and a damaged file ends
// before the panel is asked anything.
TEST_F(CliCommand, ShowDescribesOneFileAndRestoreBringsItBack) {
  test::FreshStateForThisTest();
  const fs::path file = dir_ / "mine.tavrec";
  ASSERT_EQ(Run({"backup", file.string(), "--port", "1"}), 0);
  const std::vector<uint8_t> memory1 = panel_.Memory1();
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"show", file.string()}, {"backups", file.string()}}) {
    EXPECT_EQ(Run(args), 0);
    for (const char* row : {"Kind:           settings backup\n", "Data code:      103\n",
                            "Panel:          AMD Am29F040, Starter 3.1 eng, 12 MHz, program "
                            "1.03.05 pol\n",
                            "Images:         settings memories as read, sector 6 copies as read\n",
                            "Restore:        can restore settings of data 103\n"})
      EXPECT_TRUE(Shows(row)) << out_.str();
    for (const char* secret : {"Zone", "User", "Partition"})
      EXPECT_FALSE(Shows(secret)) << "the settings are never printed";
  }

  std::fill(panel_.Memory1().begin(), panel_.Memory1().end(), 0);
  EXPECT_EQ(Run({"restore", file.string(), "--port", "1"}), 1) << "nobody to answer";
  EXPECT_EQ(Run({"restore", file.string(), "--port", "1"}, "n\n", true), 6);
  EXPECT_TRUE(Shows(" [y/n] ")) << out_.str();
  EXPECT_EQ(Run({"restore", file.string(), "--port", "1", "--unattended"}), 0) << out_.str();
  EXPECT_TRUE(Shows("Done: the panel's settings were restored from the backup.\n")) << out_.str();
  EXPECT_TRUE(panel_.Memory1() == memory1);

  { std::ofstream(file, std::ios::in | std::ios::out) << "X"; }
  EXPECT_EQ(Run({"show", file.string()}), 2);
  EXPECT_TRUE(Shows("State:          cannot be used: not a record; it is never used\n"))
      << out_.str();
  const uint32_t requests = panel_.RequestCount();
  EXPECT_EQ(Run({"restore", file.string(), "--port", "1", "--unattended"}), 2);
  EXPECT_TRUE(Shows("Failed: the backup file cannot be used; nothing was written.\n"));
  EXPECT_EQ(panel_.RequestCount(), requests);
}

// Where backup FILE may go: a regular file or none, found out before the panel is read; an
// existing FILE is replaced only with --force; the folder FILE is in keeps its mode.
TEST_F(CliCommand, BackupWritesOnlyARegularFileAndRefusesTheRestBeforeReadingThePanel) {
  const fs::path shared = dir_ / "shared";
  fs::create_directory(shared);
  ::chmod(shared.c_str(), 0755);
  ASSERT_EQ(::mkfifo((shared / "fifo").c_str(), 0600), 0);
  fs::create_directory(shared / "folder");
  fs::create_symlink(shared / "elsewhere.tavrec", shared / "link");
  const bool root = ::geteuid() == 0;
  // A device node of our own (/dev/null's numbers), so that /dev itself is never at stake.
  if (root) {
    ASSERT_EQ(::mknod((shared / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  }
  struct Case {
    const char* name;
    std::string file;
    bool force;
    int status;
    std::string said;  // on standard error
  };
  const Case cases[] = {
      {"NewFile", (shared / "new.tavrec").string(), false, 0, ""},
      {"BareName", "bare.tavrec", false, 0, ""},
      {"ExistingWithoutForce", (shared / "old.tavrec").string(), false, 1,
       "exists; add --force to replace it"},
      {"ExistingWithForce", (shared / "old.tavrec").string(), true, 0, ""},
      {"Fifo", (shared / "fifo").string(), true, 1, "is not a regular file"},
      {"Device", (shared / "null").string(), true, 1, "is not a regular file"},
      {"Folder", (shared / "folder").string(), true, 1, "is a folder"},
      {"Link", (shared / "link").string(), true, 1, "is a link"},
      {"FolderTakesNoFile", "/proc/settings.tavrec", false, 1, "cannot write in the folder /proc"},
      {"FolderMissing", (shared / "missing" / "x.tavrec").string(), false, 1,
       "cannot write in the folder"},
  };
  const fs::path cwd = fs::current_path();
  fs::current_path(shared);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (std::string(c.name) == "Device" && !root) continue;
    std::ofstream(shared / "old.tavrec") << "old";
    const uint32_t opens = line_.OpenCount();
    std::vector<std::string> args = {"backup", "--port", "1", c.file};
    if (c.force) args.push_back("--force");
    EXPECT_EQ(Run(args), c.status) << err_.str();
    if (c.status == 0) {
      EXPECT_TRUE(state::ReadRecordFile(shared / fs::path(c.file).filename()).Usable());
      EXPECT_TRUE(Shows("Settings kept in " + c.file + "\n")) << out_.str();
    } else {
      EXPECT_NE(err_.str().find(c.said), std::string::npos) << err_.str();
      EXPECT_EQ(line_.OpenCount(), opens) << "refused before the port was opened";
      EXPECT_EQ(out_.str(), "");
    }
    struct stat st {};
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u) << "the folder of FILE is the user's";
  }
  fs::current_path(cwd);
  EXPECT_TRUE(fs::is_fifo(shared / "fifo"));
  EXPECT_TRUE(fs::is_symlink(shared / "link"));
  EXPECT_FALSE(fs::exists(shared / "elsewhere.tavrec"));
  if (root) {
    EXPECT_TRUE(fs::is_character_file(shared / "null"));
  }
}

// A backup made after the clock was set back (every kept backup carries a later name and
// time) is the one named as kept, and it stays; one older backup makes room, and says so.
TEST_F(CliCommand, ABackupMadeAfterTheClockWasSetBackStaysAndWhatWentIsCounted) {
  const fs::path state = test::FreshStateForThisTest();
  ASSERT_EQ(Run({"backup", "--port", "1"}), 0) << err_.str();
  std::vector<fs::path> kept;
  for (const auto& e : fs::directory_iterator(state / "backups")) kept.push_back(e.path());
  ASSERT_EQ(kept.size(), 1u);
  const auto future = fs::file_time_type::clock::now() + std::chrono::hours(24 * 365);
  for (size_t i = 0; i < state::RecordStore::kBackupsKept; ++i) {
    const fs::path later =
        state / "backups" /
        ("2099010" + std::to_string(i % 10) + "-000000-" + std::to_string(10 + i) + ".tavrec");
    fs::copy_file(kept[0], later);
    fs::last_write_time(later, future + std::chrono::minutes(i));
  }
  fs::remove(kept[0]);

  EXPECT_EQ(Run({"backup", "--port", "1"}), 0) << err_.str();
  const std::string told = "Settings kept in ";
  const size_t at = out_.str().find(told);
  ASSERT_NE(at, std::string::npos) << out_.str();
  const fs::path named =
      out_.str().substr(at + told.size(), out_.str().find('\n', at) - at - told.size());
  EXPECT_TRUE(state::ReadRecordFile(named).Usable()) << named;
  EXPECT_TRUE(Shows("Older backups removed:") && Shows(" 1\n")) << out_.str();
  EXPECT_EQ(std::distance(fs::directory_iterator(state / "backups"), fs::directory_iterator()),
            static_cast<long>(state::RecordStore::kBackupsKept));
  EXPECT_FALSE(fs::exists(state / "backups" / "20990100-000000-10.tavrec")) << "the oldest went";
}

}  // namespace
}  // namespace tavrino::cli
