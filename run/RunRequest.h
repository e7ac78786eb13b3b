// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

namespace tavrino {

// What a front end asks of the next command, set before it runs. The window's dialogs may
// change the file and the port afterwards; the command line sets them once.
struct RunRequest {
  std::string file;            // the firmware file's path
  uint16_t port = 0;           // COM 1 to 4; 0 asks for a port when one is needed
  std::string portDevice;      // a device path that stands in for COM1, for this command only
  bool tryFastSpeeds = false;  // try the fast link speeds too
  bool unattended = false;     // Program asks nothing and takes the safe answers
  // The updater images' folder; empty: $TAVRINO_UPDATERS or the installed one.
  std::string updaters;
  bool checkSettings = false;  // Program reads the settings back after writing them
};

}  // namespace tavrino
