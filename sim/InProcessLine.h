// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// An in-memory serial line between the tool and a SimulatedPanel: a stand-in for a real
// port, used only by tests. Time comes from the test's clock through TimeSource.
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>

#include "serial/SerialBackend.h"
#include "sim/SimulatedPanel.h"

namespace tavrino::sim {

class TimeSource {
 public:
  virtual ~TimeSource() = default;
  virtual uint32_t NowMs() = 0;
  virtual void AdvanceMs(uint32_t ms) = 0;
};

class InProcessLine : public tavrino::SerialBackend {
 public:
  InProcessLine(SimulatedPanel& panel, TimeSource& time) : panel_(panel), time_(time) {}

  // Which device names exist (default: anything opens). "COM1".."COM4" stand for the
  // driver's device names for those ports (/dev/ttyS0../dev/ttyS3, or what TAVRINO_COM1..
  // TAVRINO_COM4 name), so tests can make only some ports available; any other entry is
  // matched as it is.
  void SetAvailableDevices(std::set<std::string> devices);

  // COM n is TAVRINO_COMn when set, else /dev/ttyS(n-1), on every platform.
  std::string DeviceName(uint16_t n) const override;
  // NotFound for a device that is not available, and for any device once the line is dead.
  SerialError Open(const std::string& device, uint32_t baud) override;
  // Drops what the port had received, like a reopen; LineGone once the line is dead.
  SerialError SetSpeed(uint32_t baud) override;
  void Close() override;
  bool IsOpen() const override;
  size_t BytesWaiting() override;
  size_t Read(uint8_t* buf, size_t n) override;
  SerialError Write(const uint8_t* buf, size_t n) override;
  bool Cts() override;
  // When nothing waits: advances the test clock to the next answer byte or by ms.
  bool WaitReadable(uint32_t ms) override;
  SerialError LineState() const override;

  uint32_t Baud() const { return baud_; }
  uint32_t OpenCount() const { return openCount_; }
  uint32_t WriteCount() const { return writeCount_; }
  const std::string& Device() const { return device_; }

 private:
  uint64_t NowUs() { return static_cast<uint64_t>(time_.NowMs()) * 1000; }
  void Collect();
  bool DeviceAvailable(const std::string& device) const;

  SimulatedPanel& panel_;
  TimeSource& time_;
  bool open_ = false;
  uint32_t baud_ = 0;
  uint32_t openCount_ = 0;
  uint32_t writeCount_ = 0;
  std::optional<std::set<std::string>> devices_;
  std::string device_;
  std::deque<uint8_t> received_;  // the port's receive queue
};

}  // namespace tavrino::sim
