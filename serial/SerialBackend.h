#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrino {

// The platform's serial line, as small as the driver needs it. POSIX termios now;
// the simulated panel plugs an in-memory line in here for in-process tests.
// This is the only header the simulator shares with the tool.
class SerialBackend {
 public:
  enum class OpenError { None, NotFound, NoAccess, Busy, NotATerminal, Failed };

  virtual ~SerialBackend() = default;
  // Opens the device raw 8N1, no flow control, exclusively, at the given bit rate.
  // Closes a device that is open first.
  virtual OpenError Open(const std::string& device, uint32_t baud) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Bytes waiting in the receive queue; 0 when none, when closed, or when the line is gone.
  virtual size_t BytesWaiting() = 0;
  // Reads at most n waiting bytes without blocking; returns how many were read.
  virtual size_t Read(uint8_t* buf, size_t n) = 0;
  // Writes n bytes; returns how many the system took (failures are not reported further).
  virtual size_t Write(const uint8_t* buf, size_t n) = 0;
  // The CTS input; off where the device has no modem lines.
  virtual bool Cts() = 0;
  // Sleeps until a byte is waiting or ms milliseconds have passed; true when a byte waits.
  // Must sleep, not spin, also when the line has gone away or the device is closed: the
  // frame reader calls it in a loop and counts on it to let the time pass.
  virtual bool WaitReadable(uint32_t ms) = 0;
};

}  // namespace tavrino
