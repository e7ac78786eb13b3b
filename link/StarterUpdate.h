#pragma once
#include <cstdint>

#include "link/Starter.h"

namespace tavrino {

inline constexpr uint16_t kStarterImageSize = 8448;  // 33 blocks of 256 bytes

// The byte at position (0..8447) of the built-in updater image for the flash type.
// Only types 1, 2, 4, 5 and 6 have an image; any other type is an internal error that
// ends the program with a clear message.
uint8_t SelectStarterImage(uint8_t flashType, uint16_t position);
bool HasStarterImage(uint8_t flashType);

// What UpdateStarter came to. The failures keep the value 0 and 3 apart by their cause, so
// that the run can end with the outcome its status line tells.
enum class UpdateResult : uint8_t {
  FailedRefused = 0,   // refused, or went wrong after the restart ("BŁĄD" on the line)
  Updated = 1,         // the new Starter answers; identify the panel again
  Declined = 2,        // the user said No: go on with the old Starter
  FailedNoAnswer = 3,  // the panel stopped answering ("BRAK połączenia RS" on the line)
};

// Replaces the panel's Starter: writes the updater image, restarts the panel into it,
// waits for the updater's acknowledgement and connects to the new Starter.
class StarterUpdate {
 public:
  StarterUpdate(Starter& starter, Host& host) : starter_(starter), host_(host) {}

  // A failure has its reason on the status line.
  UpdateResult UpdateStarter(uint8_t flashType, bool unattended, bool& forceProgram);

 private:
  // After the restart: the updater's handshake at 19200 or 9600 bit/s.
  bool RunUpdater();
  // The new Starter's handshake, walking the link modes.
  bool Reconnect();

  Starter& starter_;
  Host& host_;
};

}  // namespace tavrino
