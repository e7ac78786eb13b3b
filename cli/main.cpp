// SPDX-License-Identifier: GPL-2.0-or-later
// tavrino-cli: the text front end. Drives the same core as the desktop program and shows
// the same status log, for scripts, service laptops without a desktop and the demo.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/PortsCommand.h"
#include "cli/Terminal.h"
#include "frontend/StatusLog.h"
#include "os/Console.h"
#include "serial/SerialPort.h"
#include "serial/SystemSerial.h"
#include "state/RunReport.h"

namespace {

bool TerminalWantsTitles() {
  const char* term = std::getenv("TERM");
  return term != nullptr && std::string(term) != "dumb" && std::string(term).size() > 0;
}

// The live line is redrawn with a carriage return, which only works when a whole log line
// fits the terminal's width; a narrower terminal gets plain lines.
bool LiveLinesFit() {
  const int columns = tavrino::os::TerminalColumns();
  return columns == 0 || columns > tavrino::StatusLog::kColumns;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavrino;
  using namespace tavrino::cli;

  // Ctrl+C interrupts whatever system call is waiting, a write to a full terminal included.
  // The C library's stdout gives up on such a write and the stream stays failed, so the
  // status and closing lines after a Stop would never show; the stream's own file buffer
  // writes again after an interruption.
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParseResult parsed = ParseArguments(args);
  if (!parsed.ok()) {
    std::cerr << "tavrino-cli: " << parsed.error << "\nTry 'tavrino-cli --help'.\n";
    return 1;
  }
  const Options& options = parsed.options;
  if (options.command == Command::Help) {
    std::cout << UsageText();
    return 0;
  }
  if (options.command == Command::Version) {
    std::cout << VersionText();
    return 0;
  }

  if (options.command == Command::Ports) {
    const auto backend = MakeSystemSerialBackend();
    const SerialPort port(*backend);
    std::cout << PortsTableText(PortTable(port));
    return 0;
  }

  os::PrepareConsole();
  const bool outIsTty = os::StdoutIsTerminal();
  const bool inIsTty = os::StdinIsTerminal();
  Terminal term(std::cout, outIsTty && LiveLinesFit(), TerminalWantsTitles());
  // A question must reach the person: when the log goes to a file or a pipe, it is asked on
  // stderr, and the log gets the question with the answer taken.
  std::ostream& prompt = outIsTty ? std::cout : std::cerr;
  Console console{term, std::cerr, prompt, os::kStdinFd, inIsTty};
  os::Failure noReports;
  console.reportDir = RunReportDir(noReports);
  const bool reports = options.command != Command::Check && options.command != Command::Backups &&
                       options.command != Command::Show;
  if (console.reportDir.empty() && reports) {
    std::cerr << "tavrino-cli: no run report will be kept: " << noReports << "\n";
  }

  const auto backend = MakeSystemSerialBackend();
  SteadyClock clock;
  const int status = RunCommand(options, *backend, clock, console,
                                [](std::atomic<bool>& stop) { os::InstallStopSignals(stop); });
  os::RestoreDefaultSignals();
  return status;
}
