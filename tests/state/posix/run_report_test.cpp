// SPDX-License-Identifier: GPL-2.0-or-later
// The run report: its text with format version and checksum, a damaged report refused, the
// folder private, and only the newest reports kept.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "state/RunReport.h"

namespace tavrino {
namespace {

namespace fs = std::filesystem;

RunReport Sample() {
  RunReport r;
  r.command = "Program";
  r.frontEnd = "tavrino-cli";
  r.started = std::chrono::system_clock::from_time_t(1796912431);  // 2026-12-10 14:20:31 UTC
  r.ended = r.started + std::chrono::seconds(75);
  r.outcome = "updated";
  r.exitStatus = 0;
  r.file = "/home/tech/new\nfile.17";  // a line break in a name must not break the format
  r.fileVersion = "1.04.02 eng";
  r.panelVersion = "1.03.05 pol";
  r.port = "COM1 (/dev/ttyUSB0)";
  r.speed = "57600 bps";
  r.lines = {"Connecting:      ok", "FLASH erasing:   ok"};
  return r;
}

// Reports of earlier runs, named as the store names them on the day given.
std::vector<fs::path> OldReports(const fs::path& dir, const char* day, int count) {
  std::vector<fs::path> made;
  for (int i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "%s-0000%02d.%03d-test.txt", day, i / 1000, i % 1000);
    std::ofstream(dir / name) << "old";
    made.push_back(dir / name);
  }
  return made;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RunReport, TextCarriesEverythingAndItsOwnChecksum) {
  const std::string text = FormatRunReport(Sample());
  EXPECT_EQ(
      text.rfind("Tavrino run report, format 1\ncommand: Program\nfront end: tavrino-cli\n", 0),
      0u);
  for (const char* part :
       {"\nstarted: 2026-12-10T14:20:31Z\nended: 2026-12-10T14:21:46Z\n",
        "\noutcome: updated (exit status 0)\n", "\nfile: /home/tech/new file.17\n",
        "\nfile version: 1.04.02 eng\n", "\npanel version: 1.03.05 pol\n",
        "\nport: COM1 (/dev/ttyUSB0)\n", "\nspeed: 57600 bps\n",
        "\nstatus lines:\n  Connecting:      ok\n  FLASH erasing:   ok\nsha256: "}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(CheckRunReport(text), "");

  std::string damaged = text;
  damaged[damaged.find("57600")] = '3';
  EXPECT_EQ(CheckRunReport(damaged), "the run report is damaged (checksum)");
  EXPECT_EQ(CheckRunReport(text.substr(0, text.size() - 10)), "the run report is cut short");
  std::string other = text;
  other[other.find("format 1") + 7] = '2';
  EXPECT_EQ(CheckRunReport(other), "a run report of another format");
  EXPECT_EQ(CheckRunReport("hello\n"), "not a run report");
}

TEST(RunReport, SavedPrivatelyAndOnlyTheNewestAreKept) {
  char pattern[] = "/tmp/tavrino-reports-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path dir = fs::path(pattern) / "tavrino" / "runs";
  fs::create_directories(dir);
  ::chmod(dir.c_str(), 0750);
  // Older reports, and a file of someone else's.
  OldReports(dir, "20250101", static_cast<int>(kKeptRunReports) + 1);
  std::ofstream(dir / "notes.txt") << "keep me";

  RunReport report = Sample();
  fs::path first;
  fs::path second;
  ASSERT_EQ(SaveRunReport(dir, report, first), "");
  ASSERT_EQ(SaveRunReport(dir, report, second), "") << "the same start time gets a new name";
  EXPECT_NE(first, second);
  EXPECT_EQ(ReadText(first), FormatRunReport(report));
  EXPECT_EQ(CheckRunReport(ReadText(second)), "");

  struct stat st {};
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u) << "the folder was there: its mode is the user's";
  ASSERT_EQ(stat(first.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  size_t reports = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().filename() != "notes.txt") ++reports;
  }
  EXPECT_EQ(reports, kKeptRunReports);
  EXPECT_FALSE(fs::exists(dir / "20250101-000000.000-test.txt")) << "the oldest went first";
  EXPECT_FALSE(fs::exists(dir / "20250101-000000.002-test.txt"));
  EXPECT_TRUE(fs::exists(dir / "20250101-000000.003-test.txt"));
  EXPECT_TRUE(fs::exists(dir / "notes.txt"));
  fs::remove_all(pattern);
}

// Reports named and dated in the future (a clock that was set back since): the new report
// stays, and the one written longest ago goes, as many as the message says.
TEST(RunReport, TheNewReportStaysWhenTheClockWasSetBack) {
  char pattern[] = "/tmp/tavrino-reports-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path dir = fs::path(pattern) / "tavrino" / "runs";
  fs::create_directories(dir);
  const auto future = fs::file_time_type::clock::now() + std::chrono::hours(24 * 365);
  const auto later = OldReports(dir, "20300101", static_cast<int>(kKeptRunReports));
  for (size_t i = 0; i < later.size(); ++i)
    fs::last_write_time(later[i], future + std::chrono::minutes(i));
  fs::path written;
  size_t removed = 0;
  ASSERT_EQ(SaveRunReport(dir, Sample(), written, removed), "");
  EXPECT_TRUE(fs::exists(written));
  EXPECT_EQ(removed, 1u);
  EXPECT_FALSE(fs::exists(dir / "20300101-000000.000-test.txt"));
  EXPECT_TRUE(fs::exists(dir / "20300101-000000.001-test.txt"));
  fs::remove_all(pattern);
}

// Reports go only where no other user can have put or removed files.
TEST(RunReport, NoReportGoesThroughALinkOrIntoAFolderOthersWrite) {
  char pattern[] = "/tmp/tavrino-reports-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path state = fs::path(pattern) / "tavrino";
  const fs::path theirs = fs::path(pattern) / "theirs";
  fs::create_directories(state);
  fs::create_directories(theirs);
  std::ofstream(theirs / "20250101-000000.000-test.txt") << "theirs";
  fs::create_directory_symlink(theirs, state / "runs");
  fs::path written;
  EXPECT_NE(SaveRunReport(state / "runs", Sample(), written), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(theirs), fs::directory_iterator()), 1);
  fs::remove(state / "runs");
  ::chmod(state.c_str(), 0777);
  EXPECT_NE(SaveRunReport(state / "runs", Sample(), written), "");
  EXPECT_FALSE(fs::exists(state / "runs")) << "nothing is made in a folder others may write";
  fs::remove_all(pattern);
}

TEST(RunReport, TheFoldersMadeForTheReportsArePrivate) {
  char pattern[] = "/tmp/tavrino-reports-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path state = fs::path(pattern) / "tavrino";
  fs::path written;
  ASSERT_EQ(SaveRunReport(state / "runs", Sample(), written), "");
  for (const fs::path& dir : {state, state / "runs"}) {
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
  }
  const std::string text = ReadText(written);
  EXPECT_NE(text.find("\nfile: /home"), std::string::npos);
  RunReport empty = Sample();
  empty.file.clear();
  EXPECT_NE(FormatRunReport(empty).find("\nfile:\n"), std::string::npos)
      << "no blank at a line's end";
  fs::remove_all(pattern);
}

TEST(RunReport, TheFolderFollowsXdgStateHome) {
  const char* old = std::getenv("XDG_STATE_HOME");
  const std::string kept = old != nullptr ? old : "";
  setenv("XDG_STATE_HOME", "/tmp/tavrino-state-test", 1);
  os::Failure reason;
  EXPECT_EQ(RunReportDir(reason), fs::path("/tmp/tavrino-state-test/tavrino/runs"));
  if (old != nullptr) {
    setenv("XDG_STATE_HOME", kept.c_str(), 1);
  } else {
    unsetenv("XDG_STATE_HOME");
  }
}

}  // namespace
}  // namespace tavrino
