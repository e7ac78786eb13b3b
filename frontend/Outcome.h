// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <string>

namespace tavrino {

// How a command ended. The status log says it to the person; this says it to the caller
// (exit status of the unattended run and of tavrino-cli).
enum class Outcome {
  Updated = 0,         // Program: the panel was written, verified and restarted
  SameProgram,         // Program: the panel already held the file's program; restarted
  ComparisonOk,        // Test: the panel's program equals the file's
  RestartOk,           // Restart command: the panel accepted the restart
  BackedUp,            // Backup: the panel's settings were read and kept on the host
  Restored,            // Restore: a backup's settings were written, read back and kept
  FileLoaded,          // Open File / check: the file loaded and checked good
  FileRejected,        // file missing, unreadable or not a QZ-17 program file
  PortNotOpened,       // no port chosen, or it could not be opened
  NoConnection,        // the panel did not answer ("BRAK połączenia RS")
  PanelRefused,        // the panel answered with an error, refused a command, or is unsupported
  VerificationFailed,  // the panel's program differs from the file after writing / in a Test
  Declined,            // the user answered No to a question
  Stopped,             // the user pressed Stop / Ctrl+C
  InternalError,       // an internal consistency error ("Error 0w", "Internal error 1", ...)
  // The host could not keep the recovery record the next change needs, so the run ended
  // before making it; the panel is as it was, or as the last kept record says.
  RecordNotWritten,
  // The settings read back after writing still differ from what was written, after one
  // rewrite: the panel does not keep them. The record that holds them stays.
  SettingsDiffer,
  // The tool would not change this panel: a backup of another chip or board, settings it
  // cannot convert, or another unfinished work on the panel. Nothing was written.
  Refused,
  // The panel has an update cut short that this file cannot finish without converting
  // settings nobody can prove are the record's: the file it was begun with finishes it.
  FileCannotFinishUpdate,
};

// True when the command did what was asked.
inline bool Completed(Outcome o) {
  return o == Outcome::Updated || o == Outcome::SameProgram || o == Outcome::ComparisonOk ||
         o == Outcome::RestartOk || o == Outcome::FileLoaded || o == Outcome::BackedUp ||
         o == Outcome::Restored;
}

// Process exit status, shared by tavrino-cli and the desktop program's unattended start.
//   0 completed, 2 file (also a file that cannot finish the panel's unfinished update), 3 port,
//   4 no connection, 5 panel refused, verification or settings check failed, or the tool
//   refused the panel, 6 declined, 7 stopped by the user, 8 internal error, 9 the recovery
//   record could not be written (the panel was left as it stood). (1 is left for bad
//   command-line use.)
int ExitCode(Outcome o);
const char* OutcomeName(Outcome o);
// The last line a command prints, the same from tavrino-cli and from the desktop program's
// unattended start ("Done: the panel's program was updated."). portStopped: the port went
// away under the command (the outcome is then PortNotOpened).
std::string ClosingLine(Outcome o, bool portStopped = false);

}  // namespace tavrino
