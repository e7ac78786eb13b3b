// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/Options.h"
#include "link/UpdaterImages.h"
#include "tavrino/BuildInfo.h"

namespace tavrino::cli {

std::string VersionText() {
  return std::string(build::kVersionLine) +
         "\nFLASH updating software for QZ-17 (text front end)\n";
}

std::string UsageText() {
  return std::string(R"(Usage:
  tavrino-cli FILE                   load and check a firmware file (.17)
  tavrino-cli FILE PORT              unattended Program of FILE through PORT (1..4), then exit
  tavrino-cli check FILE             load and check a firmware file
  tavrino-cli program FILE --port N  Program: write FILE into the panel, keep its settings
  tavrino-cli test FILE --port N     Test: compare the panel's program with FILE, write nothing
  tavrino-cli restart --port N       restart the panel
  tavrino-cli ports                  list the serial devices: which COMn each one is, and
                                     whether it can be opened now
  tavrino-cli backup --port N [FILE] keep the panel's settings on this computer (in FILE, or
                                     a new file of the backups folder); changes nothing.
                                     FILE is a new or a regular file; an existing one is
                                     replaced only with --force
  tavrino-cli backups [FILE]         list the recovery records and settings backups kept;
                                     with FILE, tell what that one file holds (kind, time,
                                     panel, data code, images, checksum), never its settings
  tavrino-cli show FILE              the same as backups FILE
  tavrino-cli restore --port N FILE  write the settings of a backup FILE into the panel:
                                     only a panel of the backup's chip and board, converted
                                     between data 103 and 104 where the panel's program
                                     needs it; asks first, reads everything back, restarts
                                     the panel, and keeps the settings it replaced as a
                                     backup

Options:
  --port N        serial port 1..4 (COM1..COM4)
  --port DEVICE   a serial device by its path, e.g. /dev/ttyUSB0 or /dev/serial/by-id/...
  --unattended    program and restore without questions (the answers an unattended run
                  takes)
  --fast-rs       ask the panel for a faster link once connected (the default)
  --no-fast-rs    stay at the speed of first contact
  --keypad        print every text the tool sends to the panel's keypad display
  --trace FILE    write every frame sent and received to FILE (time, hex, command)
  --updaters DIR  the folder of Starter updater images (see below)
  --force         backup may replace an existing FILE
  --check-settings  program reads the settings back after writing them (both settings
                  memories and sector 6) and writes a difference again once; adds
                  about 10 s at 57600 bit/s to a Program run of about 2.5 minutes
  --help          this text
  --version       the program's version

Questions are asked on the terminal ("[y/n]": y or Y is yes; n, N or end of input is no).
Without a terminal on standard input, program and restore need --unattended.
Ctrl+C (or SIGTERM) stops the running command at its next exchange with the panel; a
second Ctrl+C ends the program at once. Closing the terminal (SIGHUP) stops it the same way.

Serial ports:
  COM1..COM4 are /dev/ttyS0../dev/ttyS3. Set TAVRINO_COM1..TAVRINO_COM4 to use any other
  device, for example a USB adapter:  TAVRINO_COM1=/dev/ttyUSB0 tavrino-cli test FILE --port 1
  Your user must be allowed to open the device (on most systems: the group dialout).
  'tavrino-cli ports' shows which device each COMn is and which devices have no COMn.

Run reports:
  Every program, test and restart keeps a report (status lines, versions, port, speed,
  times, outcome) in $XDG_STATE_HOME/tavrino/runs (default ~/.local/state/tavrino/runs),
  the last 200 of them; its path is printed on standard error just before the closing
  line. What a status line has no room for (a whole path) is printed on standard error
  and kept in the report.

Starter updater images:
  An outdated Starter is replaced only with the panel maker's updater image for the
  panel's FLASH chip, from --updaters DIR, else $TAVRINO_UPDATERS, else the installed
  folder )") +
         InstalledUpdaterFolder().string() +
         R"(.
  The images: )" +
         UpdaterFileNames() + R"(.
  Where the folder holds SHA256SUMS, each image must match its sum there. Without a usable
  image the Starter stays as it is and the run says why.

Recovery records and settings backups:
  Before it changes a panel, program keeps a recovery record (the settings' format and,
  as the update goes on, the settings as they were) in $XDG_STATE_HOME/tavrino/recovery
  (default ~/.local/state/tavrino/recovery). An update cut short is finished by running
  the same command again. Finished records stay as settings backups in
  $XDG_STATE_HOME/tavrino/backups (default ~/.local/state/tavrino/backups), the newest
  20. The files are private to your user, and a record is used only from folders that are
  yours alone: a link there, or a folder or file others may write, is refused.
  A restore keeps a record too: one cut short is finished by restore with the same FILE,
  and until then program refuses that panel.

Exit status:
  0  the command completed
  1  bad command line (or program without a terminal and without --unattended)
  2  the firmware file is missing, unreadable or not a QZ-17 program file, or it
     cannot finish the panel's unfinished update (use the file it was begun with); or the
     backup file is damaged or not a settings backup
  3  the serial port could not be opened, or stopped working during the command
  4  no connection: the panel did not answer
  5  the panel refused or reported an error, or verification found a difference, or the
     settings read back differ from what was written; or the backup does not fit the
     panel (another chip or board, a data code it cannot convert, unfinished work)
  6  a question was answered No
  7  stopped by the user (Ctrl+C, SIGTERM)
  8  internal error
  9  a recovery record or settings backup could not be written on this computer (the
     panel was not changed further)
  129  stopped because the terminal was closed (SIGHUP)
  130  ended at once by a second Ctrl+C
)";
}

}  // namespace tavrino::cli
