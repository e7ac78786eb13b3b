// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/SerialBackend.h"

namespace tavrino {

// A serial device through termios: raw 8N1, no flow control, modem lines ignored, held
// exclusively (flock and TIOCEXCL) so that no second program can talk on the line during
// an update. Reads never block; writes wait (bounded) until every byte has left the line.
class PosixSerialBackend : public SerialBackend {
 public:
  PosixSerialBackend() = default;
  PosixSerialBackend(const PosixSerialBackend&) = delete;
  PosixSerialBackend& operator=(const PosixSerialBackend&) = delete;
  ~PosixSerialBackend() override;

  // COM n is TAVRINO_COMn when set, else /dev/ttyS(n-1).
  std::string DeviceName(uint16_t n) const override;
  SerialError Open(const std::string& device, uint32_t baud) override;
  // tcsetattr on the open descriptor: the lock and the exclusive mark stay where they are.
  SerialError SetSpeed(uint32_t baud) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  size_t BytesWaiting() override;
  size_t Read(uint8_t* buf, size_t n) override;
  SerialError Write(const uint8_t* buf, size_t n) override;
  bool Cts() override;
  bool WaitReadable(uint32_t ms) override;
  SerialError LineState() const override {
    return fd_ >= 0 && gone_ ? SerialError::LineGone : SerialError::None;
  }
  std::string SystemReason() const override { return reason_; }

  // 9600, 19200, 38400, 57600 and 115200 bit/s.
  static bool SupportedSpeed(uint32_t baud);
  // The descriptor of the open device, -1 when closed (for tests and diagnostics).
  int Descriptor() const { return fd_; }

  // Longest time Write waits for room in the system's output queue before it gives up.
  static constexpr uint32_t kWriteTimeoutMs = 2000;
  // Extra time allowed for the output queue to drain beyond twice its wire time.
  static constexpr uint32_t kDrainMarginMs = 100;

 private:
  // Waits (bounded, sleeping) until the bytes just written have left the line.
  void DrainOutput(size_t bytes);
  // Keeps the system's words for err and returns its serial error.
  SerialError Failure(int err);

  int fd_ = -1;
  uint32_t baud_ = 0;
  bool gone_ = false;
  std::string reason_;
};

}  // namespace tavrino
