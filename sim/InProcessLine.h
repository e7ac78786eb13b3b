#pragma once
// An in-memory serial line between the tool and a SimulatedPanel: a stand-in for a real
// port, used only by tests. Time comes from the test's clock through TimeSource.
#include <cstdint>
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

  // Which device names exist (default: anything opens). "COM1".."COM4" map to the
  // driver's device names, so tests can make only some ports available.
  void SetAvailableDevices(std::set<std::string> devices);

  OpenError Open(const std::string& device, uint32_t baud) override;
  void Close() override;
  bool IsOpen() const override;
  size_t BytesWaiting() override;
  size_t Read(uint8_t* buf, size_t n) override;
  size_t Write(const uint8_t* buf, size_t n) override;
  bool Cts() override;
  // When nothing waits: advances the test clock to the next answer byte or by ms.
  bool WaitReadable(uint32_t ms) override;

  uint32_t Baud() const { return baud_; }
  uint32_t OpenCount() const { return openCount_; }
  uint32_t WriteCount() const { return writeCount_; }

 private:
  SimulatedPanel& panel_;
  TimeSource& time_;
  bool open_ = false;
  uint32_t baud_ = 0;
  uint32_t openCount_ = 0;
  uint32_t writeCount_ = 0;
  std::optional<std::set<std::string>> devices_;
  // The implementation adds its receive buffer.
};

}  // namespace tavrino::sim
