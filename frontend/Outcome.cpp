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

}  // namespace tavrino
