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

// Replaces the panel's Starter: writes the updater image, restarts the panel into it,
// waits for the updater's acknowledgement and connects to the new Starter.
class StarterUpdate {
 public:
  StarterUpdate(Starter& starter, Host& host) : starter_(starter), host_(host) {}

  // 0 failed (the reason is on the status line), 1 updated, 2 the user declined.
  uint8_t UpdateStarter(uint8_t flashType, bool unattended, bool& forceProgram);
  // After a failed update: true when the panel stopped answering ("BRAK połączenia RS"),
  // false when it refused or the update went wrong otherwise ("BŁĄD").
  bool FailedWithoutAnswer() const { return failedWithoutAnswer_; }

 private:
  // After the restart: the updater's handshake at 19200 or 9600 bit/s.
  bool RunUpdater();
  // The new Starter's handshake, walking the link modes.
  bool Reconnect();

  Starter& starter_;
  Host& host_;
  bool failedWithoutAnswer_ = false;
};

}  // namespace tavrino
