// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/InProcessLine.h"

#include <cstdlib>

namespace tavrino::sim {
namespace {

// The device the tool's driver opens for COM n.
std::string ComDevice(int n) {
  const std::string variable = "TAVRINO_COM" + std::to_string(n);
  if (const char* mapped = std::getenv(variable.c_str()); mapped && *mapped) return mapped;
  return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace

void InProcessLine::SetAvailableDevices(std::set<std::string> devices) {
  devices_ = std::move(devices);
}

bool InProcessLine::DeviceAvailable(const std::string& device) const {
  if (!devices_) return true;
  for (const std::string& entry : *devices_) {
    if (entry == device) return true;
    if (entry.size() == 4 && entry.compare(0, 3, "COM") == 0 && entry[3] >= '1' &&
        entry[3] <= '4' && ComDevice(entry[3] - '0') == device)
      return true;
  }
  return false;
}

std::string InProcessLine::DeviceName(uint16_t n) const {
  return ComDevice(n);
}

SerialError InProcessLine::Open(const std::string& device, uint32_t baud) {
  Close();
  // A line that went dead is gone, as a pseudo-terminal whose panel has closed it.
  if (!DeviceAvailable(device) || panel_.LineDead()) return SerialError::NotFound;
  open_ = true;
  baud_ = baud;
  device_ = device;
  ++openCount_;
  panel_.SetLineBaud(baud);
  return SerialError::None;
}

SerialError InProcessLine::SetSpeed(uint32_t baud) {
  if (!open_) return SerialError::Failed;
  if (panel_.LineDead()) return SerialError::LineGone;
  // What had arrived, or was still on its way, came at the old speed.
  panel_.ToTool(NowUs());
  received_.clear();
  baud_ = baud;
  panel_.SetLineBaud(baud);
  return SerialError::None;
}

SerialError InProcessLine::LineState() const {
  return open_ && panel_.LineDead() ? SerialError::LineGone : SerialError::None;
}

void InProcessLine::Close() {
  if (!open_) return;
  // Closing the port throws away what it had received; what is still on its way is lost.
  panel_.ToTool(NowUs());
  panel_.SetLineBaud(0);
  received_.clear();
  open_ = false;
}

bool InProcessLine::IsOpen() const {
  return open_;
}

void InProcessLine::Collect() {
  if (!open_) return;
  for (uint8_t b : panel_.ToTool(NowUs())) received_.push_back(b);
}

size_t InProcessLine::BytesWaiting() {
  Collect();
  return received_.size();
}

size_t InProcessLine::Read(uint8_t* buf, size_t n) {
  Collect();
  size_t count = 0;
  while (count < n && !received_.empty()) {
    buf[count++] = received_.front();
    received_.pop_front();
  }
  return count;
}

SerialError InProcessLine::Write(const uint8_t* buf, size_t n) {
  if (!open_) return SerialError::Failed;
  if (panel_.LineDead()) return SerialError::LineGone;
  ++writeCount_;
  panel_.FromTool(buf, n, NowUs());
  return SerialError::None;
}

bool InProcessLine::Cts() {
  if (!open_) return false;
  const uint64_t now = NowUs();
  panel_.Advance(now);
  return panel_.Cts(now);
}

bool InProcessLine::WaitReadable(uint32_t ms) {
  if (BytesWaiting() > 0) return true;
  if (ms == 0) return false;
  uint32_t step = ms;
  if (open_) {
    const uint64_t now = NowUs();
    if (const auto next = panel_.NextByteAtUs(); next && *next <= now + uint64_t{ms} * 1000) {
      // Wake with the byte: the first whole millisecond at or after it.
      const uint64_t wake = (*next + 999) / 1000;
      step = static_cast<uint32_t>(wake > now / 1000 ? wake - now / 1000 : 0);
    }
  }
  time_.AdvanceMs(step > 0 ? step : 1);
  return BytesWaiting() > 0;
}

}  // namespace tavrino::sim
