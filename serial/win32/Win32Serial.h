// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/SerialBackend.h"

namespace tavrino {

// A serial port through the Win32 communications API: raw 8N1, no flow control, held
// exclusively (share mode 0, and a named mutex per port that also holds where share mode
// is not enforced) so that no second program can talk on the line during an update.
// Reads never block; waiting sleeps in ReadFile with COMMTIMEOUTS that return at the first
// byte; writes wait (bounded) until every byte has left the line.
class Win32SerialBackend : public SerialBackend {
 public:
  Win32SerialBackend() = default;
  Win32SerialBackend(const Win32SerialBackend&) = delete;
  Win32SerialBackend& operator=(const Win32SerialBackend&) = delete;
  ~Win32SerialBackend() override;

  // COM n is TAVRINO_COMn when set, else \\.\COMn (which reaches COM10 and above too).
  std::string DeviceName(uint16_t n) const override;
  SerialError Open(const std::string& device, uint32_t baud) override;
  // SetCommState on the open handle: the handle and the mutex stay held.
  SerialError SetSpeed(uint32_t baud) override;
  void Close() override;
  bool IsOpen() const override { return handle_ != nullptr; }
  size_t BytesWaiting() override;
  size_t Read(uint8_t* buf, size_t n) override;
  SerialError Write(const uint8_t* buf, size_t n) override;
  bool Cts() override;
  bool WaitReadable(uint32_t ms) override;
  SerialError LineState() const override {
    return handle_ != nullptr && gone_ ? SerialError::LineGone : SerialError::None;
  }
  std::string SystemReason() const override { return reason_; }

  // 9600, 19200, 38400, 57600 and 115200 bit/s.
  static bool SupportedSpeed(uint32_t baud);
  // The name of the mutex that stands for the device ("\\.\com3" and "COM3" are one port).
  static std::string LockName(const std::string& device);

  // Longest time a write may take beyond its wire time before it gives up.
  static constexpr uint32_t kWriteTimeoutMs = 2000;
  // Extra time allowed for the output queue to drain beyond twice its wire time.
  static constexpr uint32_t kDrainMarginMs = 100;

 private:
  static constexpr size_t kPendingSize = 512;

  // Applies speed, 8N1, no flow control and the time-outs; false when the device refuses.
  bool Configure(uint32_t baud);
  bool SetReadWait(uint32_t ms);
  // Bytes in the system's receive queue (and the output queue); false when the line is gone.
  bool QueueState(uint32_t& in, uint32_t& out);
  // Notes a failure of the open line: the system's words, and that the line is gone.
  void LineFailed(uint32_t err);
  void DrainOutput(size_t bytes);

  void* handle_ = nullptr;  // the port; null when closed
  void* lock_ = nullptr;    // the port's mutex, owned while the port is open
  uint32_t baud_ = 0;
  uint32_t readWaitMs_ = 0;
  bool gone_ = false;
  std::string reason_;
  // Bytes a wait has taken from the system, handed out by the next reads.
  uint8_t pending_[kPendingSize] = {};
  size_t pendingHead_ = 0;
  size_t pendingCount_ = 0;
};

}  // namespace tavrino
