// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/SerialBackend.h"

namespace tavrino {

// The serial port driver: one port open at a time, a 1024-byte output queue so that a
// whole request frame leaves in one write, and byte reads that never block (taken from
// the system a batch at a time, so that an answer costs a few calls, not two per byte).
class SerialPort {
 public:
  static constexpr size_t kOutputBufferSize = 1024;
  static constexpr size_t kInputBatchSize = 512;

  explicit SerialPort(SerialBackend& backend) : backend_(backend) {}

  // Opens COM n at 115200 / divisor bit/s, 8 data bits, the parity letter ("N"), 1 stop bit.
  // When COM n is open already, only its speed changes: the port is never let go between
  // two speeds, so no other program can take it in the middle of a command. Any other
  // open port is closed first. A divisor of 0 or a parity other than "N" opens nothing.
  // Either way, bytes still queued in or out are dropped: they belonged to the old speed.
  bool OpenPort(uint16_t n, uint16_t divisor, char parity);
  // Also drops bytes still queued either way: they belonged to this line at this speed.
  void ClosePort();
  // Opens port n at 115200 and closes it again (closing a port that is open first).
  bool PortAvailable(uint16_t n);
  bool ReadPortByte(uint8_t& destination);
  void QueuePortBytes(const uint8_t* bytes, size_t count);
  void QueuePortBytes(const std::string& bytes);
  // Writes the queued bytes in one piece. None when they all left the line; otherwise the
  // failure, which LineError() keeps until the port is opened again.
  SerialError FlushPortOutput();
  bool PortCtsOn();
  bool IsOpen() const;
  // The bit rate of the open port; 0 when none is open.
  uint32_t Baud() const { return IsOpen() ? baud_ : 0; }

  // Sleeps until a byte waits or ms have passed (the no-spinning wait of the frame reader);
  // with no port open it just sleeps.
  bool WaitForInput(uint32_t ms);

  // The failure that has ended the open line: a write that did not go, or the device gone
  // under the reads. None while the line works and after every successful open.
  SerialError LineError() const;

  // The backend's device for COM1..COM4 (/dev/ttyS0.. or \\.\COM1.., unless TAVRINO_COMn
  // names one); empty for any other number.
  std::string DeviceName(uint16_t n) const;
  // For the rest of this session COM n opens device (an empty device undoes it); nothing is
  // saved. Used for a port given as a path and for an adapter taken in the port dialog.
  void MapPort(uint16_t n, const std::string& device);
  // The device COM n opens now: the session's mapping, else DeviceName(n).
  std::string DeviceOf(uint16_t n) const;
  // COM n opens a device someone chose: mapped for the session or by TAVRINO_COMn.
  bool IsMapped(uint16_t n) const;
  // Why the last OpenPort failed, and on which device, for friendly messages.
  SerialError LastOpenError() const { return lastError_; }
  const std::string& LastDevice() const { return lastDevice_; }
  // The system's own words for the last failure, where it gave any.
  std::string SystemReason() const { return backend_.SystemReason(); }

  uint8_t OutputBuffer[kOutputBufferSize] = {};
  uint16_t OutputCount = 0;

 private:
  void DropQueuedBytes();

  SerialBackend& backend_;
  uint32_t baud_ = 0;
  uint16_t openPort_ = 0;
  uint8_t input_[kInputBatchSize] = {};
  size_t inputHead_ = 0;
  size_t inputCount_ = 0;
  SerialError lastError_ = SerialError::None;
  SerialError lineError_ = SerialError::None;
  std::string lastDevice_;
  std::array<std::string, 4> sessionDevices_;
};

}  // namespace tavrino
