// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/Usage.h"

#include "link/UpdaterImages.h"
#include "tavrino/BuildInfo.h"

namespace tavrino::ui {

std::string DesktopVersionText() {
  return std::string(build::kVersionLine) + "\nFLASH updating software for QZ-17\n";
}

std::string DesktopUsageText() {
  return std::string(R"(Usage:
  tavrino                 show the About box, then wait for commands
  tavrino FILE            load a firmware file (.17)
  tavrino FILE PORT       Program FILE through PORT (1..4) without questions, then exit
  tavrino --help          this text
  tavrino --version       the program's version

PORT must be exactly 1, 2, 3 or 4; with anything else only the window is shown. Three or
more arguments show the About box. Qt's own options (-platform NAME, -display DISPLAY)
are taken out before the arguments are counted.

Every status line also goes to standard output. The unattended FILE PORT prints the run
report's path on standard error and ends with the same closing line as tavrino-cli.

Serial ports:
  COM1..COM4 are /dev/ttyS0../dev/ttyS3. Set TAVRINO_COM1..TAVRINO_COM4 to use any other
  device, for example a USB adapter: TAVRINO_COM1=/dev/ttyUSB0 tavrino FILE 1

Run reports:
  Every Program, Test and Restart keeps a report in $XDG_STATE_HOME/tavrino/runs
  (~/.local/state/tavrino/runs); Help > Run reports opens the folder.

Starter updater images:
  from $TAVRINO_UPDATERS, else the installed folder
  )") + InstalledUpdaterFolder().string() +
         R"(

Exit status:
  0  the window was closed, or FILE PORT completed: the panel was updated or already held
     the file's program
  2  the firmware file is missing, unreadable or not a QZ-17 program file, or it
     cannot finish the panel's unfinished update (use the file it was begun with)
  3  the serial port could not be opened, or stopped working during the command
  4  no connection: the panel did not answer
  5  the panel refused or reported an error, or verification found a difference, or the
     settings read back (with Check settings after writing) differ from what was written
  7  stopped by the user
  8  internal error
  9  a recovery record or settings backup could not be written on this computer (the
     panel was not changed further)
)";
}

}  // namespace tavrino::ui
