// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/Commands.h"

#include <filesystem>
#include <memory>

#include "cli/Backups.h"
#include "cli/FrameWatchers.h"
#include "cli/TerminalFrontEnd.h"
#include "cli/TerminalView.h"
#include "cli/TraceFile.h"
#include "frontend/Cp1250.h"
#include "frontend/StatusLines.h"
#include "frontend/StatusLog.h"
#include "os/Console.h"
#include "run/CommandSession.h"
#include "run/Core.h"

namespace tavrino::cli {
namespace {

// The status log keeps the desktop display's geometry, so lines and columns are the same.

Outcome Run(const Options& options, Core& core) {
  switch (options.command) {
    case Command::Check:
      return core.LoadFile();
    case Command::Program:
      return core.Program();
    case Command::Test:
      return core.Test();
    case Command::Restart:
      return core.Restart();
    case Command::Backup:
      return core.Backup(options.backupPath, options.force);
    case Command::Restore:
      return core.Restore(options.backupPath);
    default:
      return Outcome::InternalError;
  }
}

// The commands that keep a run report, by the name the report gives them; check keeps none.
const char* ReportedCommand(Command command) {
  switch (command) {
    case Command::Program:
      return "Program";
    case Command::Test:
      return "Test";
    case Command::Restart:
      return "Restart";
    case Command::Restore:
      return "Restore";
    default:
      return nullptr;
  }
}

// One line on standard error, in the program's name.
void Tell(Console& console, const std::string& text) {
  console.err << "tavrino-cli: " << text << "\n" << std::flush;
}

// Why the command cannot start, told before the panel is touched; false when it can.
// traceFile is opened here when the command keeps a trace.
bool Refused(const Options& options, Console& console, TraceFile& traceFile) {
  const bool asks = options.command == Command::Program || options.command == Command::Restore;
  if (asks && !options.unattended && !console.interactive) {
    // Program and restore ask questions whose answers decide what is written; nobody is
    // there to answer.
    const std::string name = options.command == Command::Program ? "program" : "restore";
    Tell(console, name +
                      " asks questions, but standard input is not a terminal.\n"
                      "Add --unattended to " +
                      name + " without asking.");
    return true;
  }
  os::Failure refused;
  std::error_code sameError;
  // Known before the panel is read, not after the whole read.
  if (options.command == Command::Backup && !options.backupPath.empty())
    refused = state::CheckBackupTarget(options.backupPath, options.force);
  // Opening the trace would empty the very file that is to be written into the panel.
  if (refused.empty() && !options.tracePath.empty() && !options.file.empty() &&
      std::filesystem::equivalent(options.tracePath, options.file, sameError))
    refused = "the trace file is the firmware file " + options.file;
  if (refused.empty() && !options.tracePath.empty()) refused = traceFile.Open(options.tracePath);
  if (!refused.empty()) Tell(console, refused);
  return !refused.empty();
}

// The command line stands in for the port dialog: the port is chosen, Fast RS as asked.
RunRequest RequestOf(const Options& options) {
  RunRequest request;
  request.file = options.file;
  request.port = options.port;
  request.portDevice = options.portDevice;
  request.tryFastSpeeds = options.tryFastSpeeds;
  request.unattended = options.unattended;
  request.updaters = options.updatersDir;
  request.checkSettings = options.checkSettings;
  return request;
}

// The last line shown: what became of the command.
std::string LastLine(const Options& options, Outcome outcome, bool lineGone) {
  if (options.command == Command::Backup && outcome == Outcome::RecordNotWritten)
    return "Failed: the settings backup could not be written.";
  if (options.command == Command::Restore && outcome == Outcome::FileRejected)
    return "Failed: the backup file cannot be used; nothing was written.";
  return ClosingLine(outcome, lineGone);
}

}  // namespace

int RunCommand(const Options& options, SerialBackend& backend, Clock& clock, Console& console,
               const std::function<void(std::atomic<bool>&)>& started) {
  if (options.command == Command::Backups)
    return ListRecords(state::RecordStore(), console.term.Out(), console.err);
  if (options.command == Command::Show) return ShowRecord(options.backupPath, console.term.Out());
  TraceFile traceFile;
  if (Refused(options, console, traceFile)) return 1;

  StatusLog log(StatusLog::kColumns, StatusLog::kRows);
  TerminalView view(console.term);
  CommandSession session("tavrino-cli");
  // The report sees the lines on their way to the view. What a line had no room for goes
  // into the report after its line, and to standard error, between the log's lines.
  StatusLineTap lines(
      &view, [&session](const std::string& line) { session.Line(line); },
      [&session, &console](const std::string& text) {
        session.InFull(text);
        console.term.BeginMessage();
        console.term.Out() << std::flush;
        Tell(console, text);
        console.term.EndMessage();
      });
  log.SetView(&lines);
  TerminalFrontEnd ui(console.term, console.prompt, console.inFd, console.interactive);
  ui.SetLineInFull([&lines](const std::string& text) { lines.InFull(text); });
  Core core(backend, clock, ui, log);
  ui.WatchStop(core.StopFlag());

  FrameTraceFanout watchers;
  std::unique_ptr<FrameTraceWriter> trace;
  KeypadEcho keypad(console.term);
  if (traceFile.IsOpen()) {
    trace = std::make_unique<FrameTraceWriter>(traceFile.stream(), clock);
    watchers.Add(trace.get());
  }
  if (options.keypad) watchers.Add(&keypad);
  if (!watchers.Empty()) core.SetTrace(&watchers);

  core.Use(RequestOf(options));
  core.ClearStop();
  if (started) started(core.StopFlag());

  session.Begin(core, ReportedCommand(options.command));
  const Outcome outcome = Run(options, core);
  core.SetTrace(nullptr);
  // The last line is printed before what it had no room for.
  view.Finish();
  lines.Flush();

  const PortTrouble port = session.Port(core, outcome);
  const std::string portMessage = port.Message(options.portDevice.empty() ? options.port : 0);
  if (!portMessage.empty()) Tell(console, portMessage);
  if (outcome == Outcome::FileLoaded && !ui.FileVersion().empty()) {
    console.term.PrintMessage("Program in file: " + Cp1250ToUtf8(ui.FileVersion()));
  }
  if (trace && trace->Failed()) {
    // The run went on without its trace; what was written before the failure stays.
    Tell(console, "the trace file " + options.tracePath + " could not be written (" +
                      traceFile.WriteError() + "); the trace stops where that happened");
  }
  // A terminal that went away stopped the command as Ctrl+C does; the status says why, as a
  // shell reports a program that SIGHUP ended.
  const int status =
      ExitCode(outcome) != 0 && os::ConsoleHungUp() ? os::kHangUpStatus : ExitCode(outcome);
  // The report's path comes just before the closing line, which stays the last one shown.
  const ReportSaved saved =
      session.Save(core, outcome, console.reportDir, status, options.portDevice);
  if (saved.kept) Tell(console, saved.Told(true));
  if (options.command == Command::Backup && outcome == Outcome::BackedUp)
    console.term.PrintMessage("Settings kept in " + core.BackupWritten());
  console.term.PrintMessage(LastLine(options, outcome, port.kind == PortTrouble::Kind::LineGone));
  return status;
}

}  // namespace tavrino::cli
