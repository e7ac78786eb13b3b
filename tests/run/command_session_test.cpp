// SPDX-License-Identifier: GPL-2.0-or-later
// One command as a front end runs it: which commands keep a run report, what goes into it,
// what is said about it; and how a port that did not serve the command is told.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "frontend/StatusLog.h"
#include "run/CommandSession.h"
#include "serial/InMemoryLine.h"
#include "support/Env.h"
#include "support/ScriptedFrontEnd.h"
#include "support/TestFolders.h"

namespace tavrino::test {
namespace {

namespace fs = std::filesystem;
using Kind = PortTrouble::Kind;

struct SessionRig {
  SessionRig() {
    for (int n = 1; n <= 4; ++n) UnsetEnv("TAVRINO_COM" + std::to_string(n));
  }
  ~SessionRig() { fs::remove_all(dir); }
  // The port the request names (0: the dialog is asked, and the script cancels it).
  Outcome Restart(uint16_t port) {
    ui.dialogPort = 0;
    RunRequest request;
    request.port = port;
    core.Use(request);
    return core.Restart();
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  FakeClock clock{0};
  InMemoryLine line{clock};
  ScriptedFrontEnd ui;
  StatusLog log{StatusLog::kColumns, StatusLog::kRows};
  Core core{line, clock, ui, log};
  fs::path dir = MakeTempFolder("tavrino-session");
};

TEST(CommandSession, KeepsTheReportOfAReportingCommandWhereThereIsAFolder) {
  enum class Folder { None, Writable, Blocked };
  struct Case {
    const char* command;  // nullptr: a command that keeps no report
    Outcome outcome;
    Folder folder;
    bool kept;
    bool written;
  };
  const Case cases[] = {
      {"Restart", Outcome::RestartOk, Folder::Writable, true, true},
      {"Program", Outcome::NoConnection, Folder::Writable, true, true},
      {nullptr, Outcome::FileLoaded, Folder::Writable, false, false},
      {"Test", Outcome::ComparisonOk, Folder::None, false, false},
      {"Restart", Outcome::Stopped, Folder::Blocked, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command != nullptr ? c.command : "no report") + " " +
                 OutcomeName(c.outcome));
    SessionRig rig;
    // A file where the folder's parent should be: the folder cannot be made.
    std::ofstream(rig.dir / "file").put('x');
    const fs::path folder = c.folder == Folder::None      ? fs::path()
                            : c.folder == Folder::Blocked ? rig.dir / "file" / "runs"
                                                          : rig.dir / "runs";
    CommandSession session("tavrino-test");
    session.Line("before the command");
    session.InFull("/before/the/command");
    session.Begin(rig.core, c.command);
    session.Line(
        "Connection:  \x8C"
        "LOW");  // Windows-1250: U+015A
    session.InFull("/a/path/too/long/for/the/line.17");
    session.Line("Done.");
    const ReportSaved saved = session.Save(rig.core, c.outcome, folder, 42, "/dev/ttyUSB9");

    EXPECT_EQ(saved.kept, c.kept);
    EXPECT_EQ(saved.failed.empty(), !c.kept || c.written) << saved.failed;
    if (!c.kept) {
      EXPECT_EQ(saved.Told(true), "");
      if (!folder.empty()) {
        EXPECT_FALSE(fs::exists(folder));
      }
      continue;
    }
    if (!c.written) {
      EXPECT_EQ(saved.Told(true), "the run report was not written: " + saved.failed);
      continue;
    }
    EXPECT_EQ(saved.Told(true), "run report: " + saved.written.string());
    EXPECT_EQ(saved.written.parent_path(), folder);
    const std::string report = SessionRig::Read(saved.written);
    for (const std::string& part :
         {std::string("command: ") + c.command + "\n", std::string("front end: tavrino-test\n"),
          "outcome: " + std::string(OutcomeName(c.outcome)) + " (exit status 42)\n",
          std::string("port: /dev/ttyUSB9\n"),
          std::string("status lines:\n  Connection:  \xC5\x9ALOW\n"
                      "  /a/path/too/long/for/the/line.17\n  Done.\n")}) {
      EXPECT_NE(report.find(part), std::string::npos) << part << report;
    }
    EXPECT_EQ(report.find("before"), std::string::npos) << report;
    // The report is closed: a second save and later lines add nothing.
    session.Line("after");
    EXPECT_FALSE(session.Save(rig.core, c.outcome, folder, 0).kept);
  }
}

TEST(CommandSession, ToldNamesTheOlderReportsRemovedOnlyWhenAsked) {
  ReportSaved saved{true, "/runs/r.txt", 1, {}};
  EXPECT_EQ(saved.Told(false), "run report: /runs/r.txt");
  EXPECT_EQ(saved.Told(true), "run report: /runs/r.txt (1 older report removed, the newest " +
                                  std::to_string(kKeptRunReports) + " are kept)");
  saved.removed = 3;
  EXPECT_NE(saved.Told(true).find(" (3 older reports removed"), std::string::npos);
}

TEST(CommandSession, APortThatDidNotServeTheCommandIsToldOnceJudged) {
  struct Case {
    const char* name;
    SerialBackend::OpenError refused;  // how /dev/ttyS0 (COM1) refuses to open
    bool lineGone;                     // it opens, and every write finds the line gone
    uint16_t port;                     // 0: the dialog, which the script cancels
    bool sayCancelled;                 // the front end tells the session so
    Kind kind;
    const char* message;  // part of the text front end's sentence; nullptr: none
    const char* label;    // the window's status line; nullptr: none
    const char* reason;
  };
  using E = SerialBackend::OpenError;
  const Case cases[] = {
      {"missing", E::NotFound, false, 1, false, Kind::NotOpened, "COM1 (/dev/ttyS0) does not exist",
       "Port COM1 (/dev/ttyS0):", "missing"},
      {"busy", E::Busy, false, 1, false, Kind::NotOpened,
       "COM1 (/dev/ttyS0) is in use by another program",
       "Port COM1 (/dev/ttyS0):", "busy: held by another program"},
      {"gone", E::None, true, 1, false, Kind::LineGone, "stopped working during the command",
       nullptr, nullptr},
      {"cancelled", E::None, false, 0, true, Kind::None, nullptr, nullptr, nullptr},
      // A front end that has no dialog to cancel: no port, and no reason for it either.
      {"no port", E::None, false, 0, false, Kind::Unexplained, "could not be opened.", nullptr,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SessionRig rig;
    if (c.refused != E::None) rig.line.refused["/dev/ttyS0"] = c.refused;
    if (c.lineGone) rig.line.writeResult = SerialError::LineGone;
    CommandSession session("tavrino-test");
    session.Begin(rig.core, "Restart");
    Outcome outcome = rig.Restart(c.port);
    if (c.lineGone) {
      // With no panel behind it the run reads the dead line as silence; the core still
      // knows the line went away, which is what a run that noticed it ends with.
      ASSERT_EQ(rig.core.LastPortFailure().error, SerialError::LineGone);
      outcome = Outcome::PortNotOpened;
    }
    ASSERT_EQ(outcome, Outcome::PortNotOpened) << OutcomeName(outcome);
    if (c.sayCancelled) session.PortDialogCancelled();

    const PortTrouble port = session.Port(rig.core, outcome);
    EXPECT_EQ(port.kind, c.kind);
    EXPECT_EQ(port.ForgetPort(), c.kind != Kind::None);
    const std::string message = port.Message(c.port);
    if (c.message == nullptr) {
      EXPECT_EQ(message, "");
    } else {
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
    std::string label;
    std::string reason;
    EXPECT_EQ(port.StatusLine(c.port, StatusLog::kColumns, label, reason), c.label != nullptr);
    if (c.label != nullptr) {
      EXPECT_EQ(label, c.label);
      EXPECT_EQ(reason, c.reason);
      // The reason stays whole; the device gives way on a narrow line.
      ASSERT_TRUE(port.StatusLine(c.port, 20, label, reason));
      EXPECT_EQ(label, "Port COM1:");
      EXPECT_EQ(reason, c.reason);
    }
    // A command that got its port has nothing to tell about it.
    EXPECT_EQ(session.Port(rig.core, Outcome::RestartOk).kind, Kind::None);
  }
}

}  // namespace
}  // namespace tavrino::test
