#include "serial/SerialPort.h"

#include <cstdlib>

namespace tavrino {
namespace {

constexpr uint32_t kBaseSpeed = 115200;
constexpr uint16_t kFirstPort = 1;
constexpr uint16_t kLastPort = 4;

}  // namespace

std::string SerialPort::DeviceName(uint16_t n) {
  if (n < kFirstPort || n > kLastPort) return {};
  const std::string variable = "TAVRINO_COM" + std::to_string(n);
  if (const char* mapped = std::getenv(variable.c_str()); mapped != nullptr && *mapped != '\0')
    return mapped;
  return "/dev/ttyS" + std::to_string(n - 1);
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
  ClosePort();
  lastDevice_ = DeviceOf(n);
  // Every link runs 8N1; a divisor of 0 has no speed.
  if (divisor == 0 || (parity != 'N' && parity != 'n')) {
    lastError_ = SerialBackend::OpenError::Failed;
    return false;
  }
  if (lastDevice_.empty()) {
    lastError_ = SerialBackend::OpenError::NotFound;
    return false;
  }
  baud_ = kBaseSpeed / divisor;
  lastError_ = backend_.Open(lastDevice_, baud_);
  return lastError_ == SerialBackend::OpenError::None;
}

void SerialPort::ClosePort() {
  backend_.Close();
  // Bytes queued for a line that is gone must not leave later on another line or speed,
  // nor bytes it brought be read as if the next line had sent them.
  OutputCount = 0;
  inputHead_ = inputCount_ = 0;
}

bool SerialPort::PortAvailable(uint16_t n) {
  bool opened = OpenPort(n, 1, 'N');
  if (opened) ClosePort();
  return opened;
}

bool SerialPort::IsOpen() const {
  return backend_.IsOpen();
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

void SerialPort::FlushPortOutput() {
  if (!backend_.IsOpen() || OutputCount == 0) return;
  backend_.Write(OutputBuffer, OutputCount);
  OutputCount = 0;
}

bool SerialPort::PortCtsOn() {
  return backend_.IsOpen() && backend_.Cts();
}

bool SerialPort::WaitForInput(uint32_t ms) {
  if (inputHead_ < inputCount_) return true;
  return backend_.WaitReadable(ms);
}

}  // namespace tavrino
