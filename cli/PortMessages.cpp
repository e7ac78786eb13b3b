#include "cli/PortMessages.h"

#include <grp.h>
#include <sys/stat.h>

#include <cstdlib>

namespace tavrino::cli {
namespace {

// The group that may open the device; serial ports belong to dialout on Debian.
std::string DeviceGroup(const std::string& device) {
  struct stat st {};
  if (stat(device.c_str(), &st) == 0 && st.st_gid != 0) {
    if (const group* g = getgrgid(st.st_gid)) return g->gr_name;
  }
  return "dialout";
}

}  // namespace

std::string PortOpenMessage(uint16_t port, SerialBackend::OpenError error,
                            const std::string& device) {
  const std::string com = "COM" + std::to_string(port);
  const std::string var = "TAVRINO_" + com;
  const char* mapped = std::getenv(var.c_str());
  const std::string dev = device.empty() ? std::string("its device") : device;
  // Port 0: the device was given by its path, no COMn stands for it.
  const std::string named =
      port == 0 ? dev : com + " (" + dev + (mapped != nullptr ? ", from " + var : "") + ")";
  switch (error) {
    case SerialBackend::OpenError::NotFound:
      if (port == 0) {
        return named +
               " does not exist. Connect the serial adapter; 'tavrino-cli ports' lists the "
               "serial devices there are.";
      }
      return named +
             " does not exist. Connect the serial adapter, or map the port to the "
             "device it has, for example: " +
             var + "=/dev/ttyUSB0 tavrino-cli ...";
    case SerialBackend::OpenError::NoAccess: {
      const std::string group = DeviceGroup(device);
      return "no permission to open " + named + ". Join the group '" + group +
             "' (sudo usermod -aG " + group + " $USER), then log in again.";
    }
    case SerialBackend::OpenError::Busy:
      return named + " is in use by another program. Close that program and try again.";
    case SerialBackend::OpenError::NotATerminal:
      if (port == 0) return named + " is not a serial port.";
      return named + " is not a serial port. Map " + com + " to a serial device with " + var + ".";
    case SerialBackend::OpenError::None:
    case SerialBackend::OpenError::Failed:
      break;
  }
  return named + " could not be opened.";
}

}  // namespace tavrino::cli
