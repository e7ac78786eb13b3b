// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The program's start: prepare the status display, then act on the command line.
#include <cstdint>
#include <string>
#include <vector>

namespace tavrino::ui {

class TFormFlash;

struct StartResult {
  bool quit = false;  // true: end the program now, without entering the message loop
  int exitCode = 0;   // the process exit status when quit
};

// args are the command-line arguments after the program name, as the system gave them.
//   one:  load that firmware file;
//   two, the second "1".."4": unattended Program run through that port, then quit with the
//         run's exit status (0 only when the run completed);
//   two, anything else: nothing (the window waits for commands);
//   none, three or more: the About box.
// The window is shown in every case, before any work starts. form must have its Core.
StartResult Start(TFormFlash& form, const std::vector<std::string>& args);

}  // namespace tavrino::ui
