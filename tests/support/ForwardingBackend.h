// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/SerialBackend.h"

namespace tavrino::test {

// A line that passes everything through to another one; a test overrides what it wants to
// see or change on the way (most often Write).
class ForwardingBackend : public SerialBackend {
 public:
  explicit ForwardingBackend(SerialBackend& inner) : inner_(inner) {}

  std::string DeviceName(uint16_t n) const override { return inner_.DeviceName(n); }
  OpenError Open(const std::string& device, uint32_t baud) override {
    return inner_.Open(device, baud);
  }
  SerialError SetSpeed(uint32_t baud) override { return inner_.SetSpeed(baud); }
  void Close() override { inner_.Close(); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  size_t BytesWaiting() override { return inner_.BytesWaiting(); }
  size_t Read(uint8_t* buf, size_t n) override { return inner_.Read(buf, n); }
  SerialError Write(const uint8_t* buf, size_t n) override { return inner_.Write(buf, n); }
  bool Cts() override { return inner_.Cts(); }
  bool WaitReadable(uint32_t ms) override { return inner_.WaitReadable(ms); }
  SerialError LineState() const override { return inner_.LineState(); }

 protected:
  SerialBackend& inner_;
};

}  // namespace tavrino::test
