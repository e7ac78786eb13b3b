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
    default:
      return Outcome::InternalError;
  }
}

}  // namespace

std::string OutcomeLine(Outcome outcome) {
  switch (outcome) {
    case Outcome::Updated:
      return "Done: the panel's program was updated.";
    case Outcome::SameProgram:
      return "Done: the panel already held this program.";
    case Outcome::ComparisonOk:
      return "Done: the panel's program equals the file's.";
    case Outcome::RestartOk:
      return "Done: the panel restarted.";
    case Outcome::BackedUp:
      return "Done: the panel's settings were kept on this computer.";
    case Outcome::FileLoaded:
      return "Done: the file is a good QZ-17 program file.";
    case Outcome::FileRejected:
      return "Failed: the firmware file was not loaded.";
    case Outcome::FileCannotFinishUpdate:
      return "Failed: the panel's unfinished update needs the file it was begun with.";
    case Outcome::PortNotOpened:
      return "Failed: the serial port could not be opened.";
    case Outcome::NoConnection:
      return "Failed: no connection with the panel.";
    case Outcome::PanelRefused:
      return "Failed: the panel refused or reported an error.";
    case Outcome::VerificationFailed:
      return "Failed: the panel's program differs from the file.";
    case Outcome::Declined:
      return "Cancelled: a question was answered No.";
    case Outcome::Stopped:
      return "Stopped by the user.";
    case Outcome::InternalError:
      return "Failed: internal error.";
    case Outcome::RecordNotWritten:
      return "Failed: the recovery record could not be written, so the panel was not changed "
             "further.";
  }
  return "Failed: internal error.";
}

int RunCommand(const Options& options, SerialBackend& backend, Clock& clock, Console& console,
               const std::function<void(std::atomic<bool>&)>& started) {
  if (options.command == Command::Backups)
    return ListRecords(state::RecordStore(), console.term.Out(), console.err);
  if (options.command == Command::Program && !options.unattended && !console.interactive) {
    // Program asks questions whose answers decide what is written; nobody is there to answer.
    console.err << "tavrino-cli: program asks questions, but standard input is not a terminal.\n"
                   "Add --unattended to program without asking.\n";
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
  CliRunReport report(view);
  log.SetView(&report.Tap());
  TerminalFrontEnd ui(console.term, console.prompt, console.inFd, console.interactive);
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
  core.Use(request);
  core.ClearStop();
  if (started) started(core.StopFlag());

  report.Start(core, options.command);
  const Outcome outcome = Run(options, core);
  core.SetTrace(nullptr);
  report.Tap().Flush();
  view.Finish();

  if (outcome == Outcome::PortNotOpened) {
    const PortFailure failure = core.LastPortFailure();
    console.err << "tavrino-cli: "
                << PortOpenMessage(options.portDevice.empty() ? options.port : 0, failure.error,
                                   failure.device, failure.systemReason)
                << "\n"
                << std::flush;
  }
  if (outcome == Outcome::FileLoaded && !ui.VersionLabel().empty()) {
    console.term.PrintMessage("Program in file: " + Cp1250ToUtf8(ui.VersionLabel()));
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
  else if (lineGone)
    console.term.PrintMessage("Failed: the serial port stopped working during the command.");
  else
    console.term.PrintMessage(OutcomeLine(outcome));
  return status;
}

}  // namespace tavrino::cli
