// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrino {

// Every way the serial layer can fail, for opening and for using an open line alike, so
// that one value carries a failure from the system up to the link and the front ends.
enum class SerialError {
  None,
  NotFound,      // no such device
  NoAccess,      // the device exists but this user may not open it
  Busy,          // the port is used by another program
  NotATerminal,  // the name is something other than a serial port
  Unsupported,   // the device cannot run at the asked speed
  LineGone,      // the device went away or failed while open (unplugged, hung up)
  TimedOut,      // the bytes did not leave within their bound
  Failed,        // any other refusal of the system
};

// The platform's serial line, as small as the driver needs it: POSIX termios or Win32 (one
// source each, picked by the build); the simulated panel plugs an in-memory line in here
// for in-process tests. This is the only header the simulator shares with the tool.
class SerialBackend {
 public:
  // Kept so that callers may name the open result as before; it is SerialError.
  using OpenError = SerialError;

  virtual ~SerialBackend() = default;
  // The device that stands for COM n on this platform (TAVRINO_COMn maps it anywhere).
  virtual std::string DeviceName(uint16_t n) const = 0;
  // Opens the device raw 8N1, no flow control, exclusively, at the given bit rate.
  // Closes a device that is open first.
  virtual SerialError Open(const std::string& device, uint32_t baud) = 0;
  // Changes the speed of the open device without letting go of it, so that no other
  // program can take the port between two speeds. Bytes received and not yet read are
  // dropped: they came at the old speed.
  virtual SerialError SetSpeed(uint32_t baud) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Bytes waiting in the receive queue; 0 when none, when closed, or when the line is gone.
  virtual size_t BytesWaiting() = 0;
  // Reads at most n waiting bytes without blocking; returns how many were read.
  virtual size_t Read(uint8_t* buf, size_t n) = 0;
  // Writes all n bytes and waits (bounded) until they have left the line. None only when
  // every byte went; LineGone when the device failed, TimedOut when the bytes did not go.
  virtual SerialError Write(const uint8_t* buf, size_t n) = 0;
  // The CTS input; off where the device has no modem lines.
  virtual bool Cts() = 0;
  // Sleeps until a byte is waiting or ms milliseconds have passed; true when a byte waits.
  // Must sleep, not spin, also when the line has gone away or the device is closed: the
  // frame reader calls it in a loop and counts on it to let the time pass.
  virtual bool WaitReadable(uint32_t ms) = 0;
  // LineGone once reads or waits have found the open device gone; None otherwise.
  virtual SerialError LineState() const { return SerialError::None; }
  // The system's own words for the last failure (empty when there are none to add).
  virtual std::string SystemReason() const { return {}; }
};

}  // namespace tavrino
