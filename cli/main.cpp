// tavrino-cli: the text front end. Drives the same core as the desktop program and shows
// the same status log, for scripts, service laptops without a desktop and the demo.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/StopSignals.h"
#include "cli/Terminal.h"
#include "serial/PosixSerial.h"

namespace {

bool TerminalWantsTitles() {
  const char* term = std::getenv("TERM");
  return term != nullptr && std::string(term) != "dumb" && std::string(term).size() > 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavrino;
  using namespace tavrino::cli;

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

  const bool outIsTty = isatty(STDOUT_FILENO) == 1;
  const bool inIsTty = isatty(STDIN_FILENO) == 1;
  Terminal term(std::cout, outIsTty, TerminalWantsTitles());
  // A question must reach the person: when the log goes to a file or a pipe, ask on stderr.
  std::ostream& prompt = !outIsTty && isatty(STDERR_FILENO) == 1 ? std::cerr : std::cout;
  Console console{term, std::cerr, prompt, STDIN_FILENO, inIsTty};

  PosixSerialBackend backend;
  SteadyClock clock;
  const int status = RunCommand(options, backend, clock, console,
                                [](Host& host) { InstallStopSignals(host.StopRequested); });
  RestoreDefaultSignals();
  return status;
}
