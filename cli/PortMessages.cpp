// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/PortMessages.h"

#include <cstdlib>

#include "cli/Printable.h"
#include "os/Console.h"

namespace tavrino::cli {

std::string PortOpenMessage(uint16_t port, SerialError error, const std::string& device,
                            const std::string& reason) {
  const std::string com = "COM" + std::to_string(port);
  const std::string var = "TAVRINO_" + com;
  const char* mapped = std::getenv(var.c_str());
  const std::string dev = device.empty() ? std::string("its device") : Printable(device);
  // Port 0: the device was given by its path, no COMn stands for it.
  const std::string named =
      port == 0 ? dev : com + " (" + dev + (mapped != nullptr ? ", from " + var : "") + ")";
  switch (error) {
    case SerialError::NotFound:
      if (port == 0) {
        return named +
               " does not exist. Connect the serial adapter; 'tavrino-cli ports' lists the "
               "serial devices there are.";
      }
      return named +
             " does not exist. Connect the serial adapter, or map the port to the "
             "device it has, for example: " +
             os::MappingExample(var);
    case SerialError::NoAccess:
      return "no permission to open " + named + ". " + os::NoAccessAdvice(device);
    case SerialError::Busy:
      return named + " is in use by another program. Close that program and try again.";
    case SerialError::NotATerminal:
      if (port == 0) return named + " is not a serial port.";
      return named + " is not a serial port. Map " + com + " to a serial device with " + var + ".";
    case SerialError::LineGone:
      return named + " stopped working during the command (unplugged?)" +
             (reason.empty() ? std::string(".") : ": " + reason + ".");
    case SerialError::None:
    case SerialError::Unsupported:
    case SerialError::TimedOut:
    case SerialError::Failed:
      break;
  }
  return named + " could not be opened" + (reason.empty() ? std::string(".") : ": " + reason + ".");
}

}  // namespace tavrino::cli
