// SPDX-License-Identifier: GPL-2.0-or-later
#include "serial/SerialPort.h"

namespace tavrino {
namespace {

constexpr uint32_t kBaseSpeed = 115200;
constexpr uint16_t kFirstPort = 1;
constexpr uint16_t kLastPort = 4;

}  // namespace

std::string SerialPort::DeviceName(uint16_t n) const {
  if (n < kFirstPort || n > kLastPort) return {};
  return backend_.DeviceName(n);
}

void SerialPort::MapPort(uint16_t n, const std::string& device) {
  if (n >= kFirstPort && n <= kLastPort) sessionDevices_[n - kFirstPort] = device;
}

std::string SerialPort::DeviceOf(uint16_t n) const {
  if (n >= kFirstPort && n <= kLastPort && !sessionDevices_[n - kFirstPort].empty())
    return sessionDevices_[n - kFirstPort];
  return DeviceName(n);
}

bool SerialPort::IsMapped(uint16_t n) const {
  if (n < kFirstPort || n > kLastPort) return false;
  const char* mapped = std::getenv(("TAVRINO_COM" + std::to_string(n)).c_str());
  return !sessionDevices_[n - kFirstPort].empty() || (mapped != nullptr && *mapped != '\0');
}

bool SerialPort::OpenPort(uint16_t n, uint16_t divisor, char parity) {
  const bool linkSpeed = divisor != 0 && (parity == 'N' || parity == 'n');
  // The device the port opens now, however it was named: TAVRINO_COMn, or a device mapped
  // for the session (--port DEVICE, an adapter taken in the port dialog).
  const std::string device = DeviceOf(n);
  if (linkSpeed && backend_.IsOpen() && n == openPort_ && device == lastDevice_) {
    // The same port at another speed: keep holding it. A port that cannot take the new
    // speed is of no more use to the command, and is let go.
    DropQueuedBytes();
    baud_ = kBaseSpeed / divisor;
    lastError_ = backend_.SetSpeed(baud_);
    if (lastError_ == SerialError::None) return true;
    ClosePort();
    return false;
  }
  ClosePort();
  lastDevice_ = device;
  // Every link runs 8N1; a divisor of 0 has no speed.
  if (!linkSpeed) {
    lastError_ = SerialError::Failed;
    return false;
  }
  if (lastDevice_.empty()) {
    lastError_ = SerialError::NotFound;
    return false;
  }
  baud_ = kBaseSpeed / divisor;
  lastError_ = backend_.Open(lastDevice_, baud_);
  if (lastError_ != SerialError::None) return false;
  openPort_ = n;
  lineError_ = SerialError::None;
  return true;
}

void SerialPort::DropQueuedBytes() {
  // Bytes queued for a line that is gone must not leave later on another line or speed,
  // nor bytes it brought be read as if the next line had sent them.
  OutputCount = 0;
  inputHead_ = inputCount_ = 0;
}

void SerialPort::ClosePort() {
  backend_.Close();
  openPort_ = 0;
  DropQueuedBytes();
}

bool SerialPort::PortAvailable(uint16_t n) {
  // A fresh open, also of the port that is open now: that tells whether it opens at all.
  ClosePort();
  bool opened = OpenPort(n, 1, 'N');
  if (opened) ClosePort();
  return opened;
}

bool SerialPort::IsOpen() const {
  return backend_.IsOpen();
}

SerialError SerialPort::LineError() const {
  if (!backend_.IsOpen()) return SerialError::None;
  if (lineError_ != SerialError::None) return lineError_;
  return backend_.LineState();
}

bool SerialPort::ReadPortByte(uint8_t& destination) {
  if (inputHead_ == inputCount_) {
    if (!backend_.IsOpen()) return false;
    inputHead_ = 0;
    inputCount_ = backend_.Read(input_, kInputBatchSize);
    if (inputCount_ == 0) return false;
  }
  destination = input_[inputHead_++];
  return true;
}

void SerialPort::QueuePortBytes(const uint8_t* bytes, size_t count) {
  if (!backend_.IsOpen()) return;
  for (size_t i = 0; i < count; ++i) {
    if (OutputCount >= kOutputBufferSize) FlushPortOutput();
    OutputBuffer[OutputCount++] = bytes[i];
  }
}

void SerialPort::QueuePortBytes(const std::string& bytes) {
  QueuePortBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

SerialError SerialPort::FlushPortOutput() {
  if (!backend_.IsOpen() || OutputCount == 0) return SerialError::None;
  const SerialError result = backend_.Write(OutputBuffer, OutputCount);
  OutputCount = 0;
  if (result != SerialError::None && lineError_ == SerialError::None) lineError_ = result;
  return result;
}

bool SerialPort::PortCtsOn() {
  return backend_.IsOpen() && backend_.Cts();
}

bool SerialPort::WaitForInput(uint32_t ms) {
  if (inputHead_ < inputCount_) return true;
  return backend_.WaitReadable(ms);
}

}  // namespace tavrino
