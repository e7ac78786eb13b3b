// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>

#include "link/Starter.h"

namespace tavrino {

// What UpdateStarter came to. The failures keep the value 0 and 3 apart by their cause, so
// that the run can end with the outcome its status line tells.
enum class UpdateResult : uint8_t {
  FailedRefused = 0,   // refused, or went wrong after the restart ("BŁĄD" on the line)
  Updated = 1,         // the new Starter answers; identify the panel again
  Declined = 2,        // the user said No: go on with the old Starter
  FailedNoAnswer = 3,  // the panel stopped answering ("BRAK połączenia RS" on the line)
  NoImage = 4,         // no usable updater image for the chip (a line says why): nothing was
                       // written, go on with the old Starter
  NotRecorded = 5,     // the host could not keep its record of the update (a line says
                       // why): nothing was written
  PortLost = 6,        // the serial line went away (the port's line says so)
};

// Replaces the panel's Starter: loads and checks the maker's updater image for the chip,
// writes it, restarts the panel into it, waits for the updater's acknowledgement and
// connects to the new Starter.
class StarterUpdate {
 public:
  StarterUpdate(Starter& starter, Host& host);

  // A failure has its reason on the status line. recordFirst runs once, after the last
  // question that comes before any change and before the first erase or write: false means
  // the host could not record the update, and nothing is changed. anyBoard as for
  // Starter::ConnectStarter, for the handshake with the new Starter.
  UpdateResult UpdateStarter(uint8_t flashType, bool anyBoard, bool unattended, bool& forceProgram,
                             const std::function<bool()>& recordFirst);

  // The folder of updater images named on the command line (tavrino-cli --updaters DIR);
  // empty: $TAVRINO_UPDATERS, else the installed data folder.
  std::filesystem::path UpdatersFolder;
  // Whether the marked test images may be written: TAVRINO_ALLOW_TEST_UPDATERS=1 when the
  // program started.
  bool AllowTestImages;

 private:
  // After the restart: the updater's handshake at 19200 or 9600 bit/s.
  bool RunUpdater();
  // The new Starter's handshake, walking the link modes.
  bool Reconnect(bool anyBoard);
  // The port went away after the restart (as the line or as a speed it could not take):
  // notes it, and fails the step.
  bool PortLost();

  Starter& starter_;
  Host& host_;
  bool portLost_ = false;
};

}  // namespace tavrino
