// SPDX-License-Identifier: GPL-2.0-or-later
#include "frontend/Outcome.h"

namespace tavrino {

int ExitCode(Outcome o) {
  switch (o) {
    case Outcome::Updated:
    case Outcome::SameProgram:
    case Outcome::ComparisonOk:
    case Outcome::RestartOk:
    case Outcome::BackedUp:
    case Outcome::Restored:
    case Outcome::FileLoaded:
      return 0;
    case Outcome::FileRejected:
    case Outcome::FileCannotFinishUpdate:
      return 2;
    case Outcome::PortNotOpened:
      return 3;
    case Outcome::NoConnection:
      return 4;
    case Outcome::PanelRefused:
    case Outcome::VerificationFailed:
    case Outcome::SettingsDiffer:
    case Outcome::Refused:
      return 5;
    case Outcome::Declined:
      return 6;
    case Outcome::Stopped:
      return 7;
    case Outcome::InternalError:
      return 8;
    case Outcome::RecordNotWritten:
      return 9;
  }
  return 8;
}

const char* OutcomeName(Outcome o) {
  // clang-format off
  switch (o) {
    case Outcome::Updated: return "updated";
    case Outcome::SameProgram: return "same program";
    case Outcome::ComparisonOk: return "comparison ok";
    case Outcome::RestartOk: return "restarted";
    case Outcome::BackedUp: return "settings backed up";
    case Outcome::Restored: return "settings restored";
    case Outcome::FileLoaded: return "file ok";
    case Outcome::FileRejected: return "file rejected";
    case Outcome::PortNotOpened: return "port not opened";
    case Outcome::NoConnection: return "no connection";
    case Outcome::PanelRefused: return "panel refused";
    case Outcome::VerificationFailed: return "verification failed";
    case Outcome::Declined: return "declined";
    case Outcome::Stopped: return "stopped";
    case Outcome::InternalError: return "internal error";
    case Outcome::RecordNotWritten: return "record not written";
    case Outcome::SettingsDiffer: return "settings differ";
    case Outcome::Refused: return "refused";
    case Outcome::FileCannotFinishUpdate: return "file cannot finish the update";
  }
  // clang-format on
  return "internal error";
}

std::string ClosingLine(Outcome o, bool portStopped) {
  if (o == Outcome::PortNotOpened && portStopped)
    return "Failed: the serial port stopped working during the command.";
  switch (o) {
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
    case Outcome::Restored:
      return "Done: the panel's settings were restored from the backup.";
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
      // The log has said "Stopped by the user." on the line after the stopped step.
      return "Stopped: the command did not finish.";
    case Outcome::InternalError:
      return "Failed: internal error.";
    case Outcome::RecordNotWritten:
      return "Failed: the recovery record could not be written, so the panel was not changed "
             "further.";
    case Outcome::SettingsDiffer:
      return "Failed: the panel's settings differ from what was written.";
    case Outcome::Refused:
      return "Failed: refused, and nothing was written; the lines above say why.";
  }
  return "Failed: internal error.";
}

}  // namespace tavrino
