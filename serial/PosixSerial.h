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

  OpenError Open(const std::string& device, uint32_t baud) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  size_t BytesWaiting() override;
  size_t Read(uint8_t* buf, size_t n) override;
  size_t Write(const uint8_t* buf, size_t n) override;
  bool Cts() override;
  bool WaitReadable(uint32_t ms) override;

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

  int fd_ = -1;
  uint32_t baud_ = 0;
};

}  // namespace tavrino
