// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/Commands.h"

#include <filesystem>
#include <memory>

#include "cli/Backups.h"
#include "cli/FrameWatchers.h"
#include "cli/PortMessages.h"
#include "cli/RunReports.h"
#include "cli/TerminalFrontEnd.h"
#include "cli/TerminalView.h"
#include "cli/TraceFile.h"
#include "frontend/Cp1250.h"
#include "frontend/StatusLog.h"
#include "os/Console.h"
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

}  // namespace

int RunCommand(const Options& options, SerialBackend& backend, Clock& clock, Console& console,
               const std::function<void(std::atomic<bool>&)>& started) {
  if (options.command == Command::Backups)
    return ListRecords(state::RecordStore(), console.term.Out(), console.err);
  if (options.command == Command::Show) return ShowRecord(options.backupPath, console.term.Out());
  const bool asks = options.command == Command::Program || options.command == Command::Restore;
  if (asks && !options.unattended && !console.interactive) {
    // Program and restore ask questions whose answers decide what is written; nobody is
    // there to answer.
    const std::string name = options.command == Command::Program ? "program" : "restore";
    console.err << "tavrino-cli: " << name
                << " asks questions, but standard input is not a terminal.\n"
                   "Add --unattended to "
                << name << " without asking.\n";
    return 1;
  }
  if (options.command == Command::Backup && !options.backupPath.empty()) {
    // Known before the panel is read, not after the whole read.
    const os::Failure refused = state::CheckBackupTarget(options.backupPath, options.force);
    if (!refused.empty()) {
      console.err << "tavrino-cli: " << refused << "\n";
      return 1;
    }
  }
  TraceFile traceFile;
  std::error_code sameError;
  if (!options.tracePath.empty() && !options.file.empty() &&
      std::filesystem::equivalent(options.tracePath, options.file, sameError)) {
    // Opening the trace would empty the very file that is to be written into the panel.
    console.err << "tavrino-cli: the trace file is the firmware file " << options.file << "\n";
    return 1;
  }
  if (!options.tracePath.empty()) {
    const std::string refused = traceFile.Open(options.tracePath);
    if (!refused.empty()) {
      console.err << "tavrino-cli: " << refused << "\n";
      return 1;
    }
  }

  StatusLog log(StatusLog::kColumns, StatusLog::kRows);
  TerminalView view(console.term);
  // What a status line had no room for goes to standard error, between the log's lines.
  CliRunReport report(view, [&console](const std::string& text) {
    console.term.BeginMessage();
    console.term.Out() << std::flush;
    console.err << "tavrino-cli: " << text << "\n" << std::flush;
    console.term.EndMessage();
  });
  log.SetView(&report.Tap());
  TerminalFrontEnd ui(console.term, console.prompt, console.inFd, console.interactive);
  ui.SetLineInFull([&report](const std::string& text) { report.Tap().InFull(text); });
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

  // The command line stands in for the port dialog: the port is chosen, Fast RS as asked.
  RunRequest request;
  request.file = options.file;
  request.port = options.port;
  request.portDevice = options.portDevice;
  request.tryFastSpeeds = options.tryFastSpeeds;
  request.unattended = options.unattended;
  request.updaters = options.updatersDir;
  request.checkSettings = options.checkSettings;
  core.Use(request);
  core.ClearStop();
  if (started) started(core.StopFlag());

  report.Start(core, options.command);
  const Outcome outcome = Run(options, core);
  core.SetTrace(nullptr);
  // The last line is printed before what it had no room for.
  view.Finish();
  report.Tap().Flush();

  if (outcome == Outcome::PortNotOpened) {
    const PortFailure failure = core.LastPortFailure();
    console.err << "tavrino-cli: "
                << PortOpenMessage(options.portDevice.empty() ? options.port : 0, failure.error,
                                   failure.device, failure.systemReason)
                << "\n"
                << std::flush;
  }
  if (outcome == Outcome::FileLoaded && !ui.FileVersion().empty()) {
    console.term.PrintMessage("Program in file: " + Cp1250ToUtf8(ui.FileVersion()));
  }
  if (trace && trace->Failed()) {
    // The run went on without its trace; what was written before the failure stays.
    console.err << "tavrino-cli: the trace file " << options.tracePath << " could not be written ("
                << traceFile.WriteError() << "); the trace stops where that happened\n"
                << std::flush;
  }
  // A terminal that went away stopped the command as Ctrl+C does; the status says why, as a
  // shell reports a program that SIGHUP ended.
  const int status =
      ExitCode(outcome) != 0 && os::ConsoleHungUp() ? os::kHangUpStatus : ExitCode(outcome);
  // The report's path comes just before the closing line, which stays the last one shown.
  report.Save(core, outcome, status, options.portDevice, console.reportDir, console.err);
  if (options.command == Command::Backup && outcome == Outcome::BackedUp)
    console.term.PrintMessage("Settings kept in " + core.BackupWritten());
  const bool lineGone =
      outcome == Outcome::PortNotOpened && core.LastPortFailure().error == SerialError::LineGone;
  if (options.command == Command::Backup && outcome == Outcome::RecordNotWritten)
    console.term.PrintMessage("Failed: the settings backup could not be written.");
  else if (options.command == Command::Restore && outcome == Outcome::FileRejected)
    console.term.PrintMessage("Failed: the backup file cannot be used; nothing was written.");
  else
    console.term.PrintMessage(ClosingLine(outcome, lineGone));
  return status;
}

}  // namespace tavrino::cli
