// SPDX-License-Identifier: GPL-2.0-or-later
#include "serial/win32/Win32Serial.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <thread>

#include "serial/DeviceMapping.h"
#include "serial/SystemSerial.h"

namespace tavrino {
namespace {

using Steady = std::chrono::steady_clock;

constexpr uint32_t kSpeeds[] = {9600, 19200, 38400, 57600, 115200};
// The slice a read waits when nobody asked for a wait (reads themselves never wait: they
// ask only for bytes the system already holds).
constexpr uint32_t kDefaultReadWaitMs = 10;

HANDLE Handle(void* h) {
  return static_cast<HANDLE>(h);
}

// The one place where the system's error codes become the serial layer's errors and the
// system's own words.
SerialError ErrorOfSystem(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NETPATH:
      return SerialError::NotFound;
    // A COM port opened by another program refuses with "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return SerialError::Busy;
    case ERROR_NOT_READY:
    case ERROR_GEN_FAILURE:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_OPERATION_ABORTED:
      return SerialError::LineGone;
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
      return SerialError::TimedOut;
    default:
      return SerialError::Failed;
  }
}

std::string SystemWords(DWORD err) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, err, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == ' ' ||
                            words.back() == '.'))
    words.pop_back();
  return words + (words.empty() ? "" : " ") + "(error " + std::to_string(err) + ")";
}

void SleepFor(Steady::duration d) {
  if (d > Steady::duration::zero())
    std::this_thread::sleep_for(std::chrono::ceil<std::chrono::milliseconds>(d));
}

// The system's sleep may wake a little before its time (its ticks are coarse): a wait that
// is promised to last until the deadline sleeps again for the rest, in whole milliseconds,
// since a sleep of less than one would return at once and spin.
void SleepUntil(Steady::time_point deadline) {
  for (auto now = Steady::now(); now < deadline; now = Steady::now())
    std::this_thread::sleep_for(std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
}

}  // namespace

std::unique_ptr<SerialBackend> MakeSystemSerialBackend() {
  return std::make_unique<Win32SerialBackend>();
}

Win32SerialBackend::~Win32SerialBackend() {
  Close();
}

bool Win32SerialBackend::SupportedSpeed(uint32_t baud) {
  return std::find(std::begin(kSpeeds), std::end(kSpeeds), baud) != std::end(kSpeeds);
}

std::string Win32SerialBackend::DeviceName(uint16_t n) const {
  std::string mapped = MappedDevice(n);
  if (!mapped.empty()) return mapped;
  return "\\\\.\\COM" + std::to_string(n);
}

std::string Win32SerialBackend::LockName(const std::string& device) {
  std::string port = device;
  for (const char* prefix : {"\\\\.\\", "\\\\?\\"}) {
    if (port.rfind(prefix, 0) == 0) port.erase(0, 4);
  }
  for (char& c : port) {
    c = c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return "Global\\Tavrino.SerialPort." + port;
}

SerialError Win32SerialBackend::Open(const std::string& device, uint32_t baud) {
  Close();
  reason_.clear();
  if (!SupportedSpeed(baud)) return SerialError::Unsupported;
  if (device.empty()) return SerialError::NotFound;

  // The mutex first: another Tavrino on this port is told so even where the system lets a
  // second open through (wine does not enforce share mode 0).
  HANDLE lock = CreateMutexA(nullptr, FALSE, LockName(device).c_str());
  if (lock == nullptr) {
    const DWORD err = GetLastError();
    reason_ = SystemWords(err);
    return err == ERROR_ACCESS_DENIED ? SerialError::Busy : SerialError::Failed;
  }
  const DWORD owned = WaitForSingleObject(lock, 0);
  if (owned != WAIT_OBJECT_0 && owned != WAIT_ABANDONED) {
    CloseHandle(lock);
    return SerialError::Busy;
  }
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  SerialError result = SerialError::None;
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    reason_ = SystemWords(err);
    result = ErrorOfSystem(err);
    // A port that is not there cannot have gone away.
    if (result == SerialError::LineGone) result = SerialError::NotFound;
  } else if (GetFileType(h) != FILE_TYPE_CHAR) {
    CloseHandle(h);
    result = SerialError::NotATerminal;
  }
  if (result != SerialError::None) {
    ReleaseMutex(lock);
    CloseHandle(lock);
    return result;
  }
  handle_ = h;
  lock_ = lock;
  gone_ = false;
  readWaitMs_ = 0;
  pendingHead_ = pendingCount_ = 0;
  // A device that takes the open but not the settings still counts as opened: the panel
  // then does not answer, and the connection step says so.
  Configure(baud);
  DWORD errors = 0;
  ClearCommError(Handle(handle_), &errors, nullptr);
  return SerialError::None;
}

bool Win32SerialBackend::Configure(uint32_t baud) {
  baud_ = baud;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  bool ok = GetCommState(Handle(handle_), &dcb) != 0;
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  ok = SetCommState(Handle(handle_), &dcb) != 0 && ok;
  return SetReadWait(kDefaultReadWaitMs) && ok;
}

bool Win32SerialBackend::SetReadWait(uint32_t ms) {
  if (ms == readWaitMs_) return true;
  // A read returns at once with what the system holds, else at the first byte that
  // arrives, else after ms: the wait sleeps in the system instead of spinning. A write may
  // take twice its wire time plus a margin.
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = MAXDWORD;
  t.ReadTotalTimeoutMultiplier = MAXDWORD;
  t.ReadTotalTimeoutConstant = ms;
  t.WriteTotalTimeoutMultiplier = baud_ > 0 ? (2 * 10 * 1000 + baud_ - 1) / baud_ : 0;
  t.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  if (SetCommTimeouts(Handle(handle_), &t) == 0) return false;
  readWaitMs_ = ms;
  return true;
}

SerialError Win32SerialBackend::SetSpeed(uint32_t baud) {
  if (handle_ == nullptr) return SerialError::Failed;
  if (!SupportedSpeed(baud)) return SerialError::Unsupported;
  pendingHead_ = pendingCount_ = 0;
  PurgeComm(Handle(handle_), PURGE_RXCLEAR);
  readWaitMs_ = 0;  // the write time-out follows the speed
  Configure(baud);
  // As at the open, settings the device does not take are not a failure of their own; a
  // device that has gone is.
  uint32_t in = 0, out = 0;
  if (!QueueState(in, out)) return SerialError::LineGone;
  return gone_ ? SerialError::LineGone : SerialError::None;
}

void Win32SerialBackend::Close() {
  if (handle_ != nullptr) CloseHandle(Handle(handle_));
  if (lock_ != nullptr) {
    ReleaseMutex(Handle(lock_));
    CloseHandle(Handle(lock_));
  }
  handle_ = nullptr;
  lock_ = nullptr;
  baud_ = 0;
  gone_ = false;
  pendingHead_ = pendingCount_ = 0;
}

void Win32SerialBackend::LineFailed(uint32_t err) {
  gone_ = true;
  reason_ = SystemWords(err);
}

bool Win32SerialBackend::QueueState(uint32_t& in, uint32_t& out) {
  in = out = 0;
  if (handle_ == nullptr) return false;
  DWORD errors = 0;
  COMSTAT stat{};
  // Clears line errors (overrun, framing), which the frame check catches anyway. A failure
  // here is the sign that the device has gone: reads then only ever return nothing.
  if (ClearCommError(Handle(handle_), &errors, &stat) == 0) {
    LineFailed(GetLastError());
    return false;
  }
  in = stat.cbInQue;
  out = stat.cbOutQue;
  return true;
}

size_t Win32SerialBackend::BytesWaiting() {
  if (handle_ == nullptr) return 0;
  uint32_t in = 0, out = 0;
  QueueState(in, out);
  return pendingCount_ - pendingHead_ + in;
}

size_t Win32SerialBackend::Read(uint8_t* buf, size_t n) {
  if (handle_ == nullptr || n == 0) return 0;
  size_t count = std::min(n, pendingCount_ - pendingHead_);
  std::copy(pending_ + pendingHead_, pending_ + pendingHead_ + count, buf);
  pendingHead_ += count;
  if (count == n) return count;
  uint32_t in = 0, out = 0;
  if (!QueueState(in, out) || in == 0) return count;
  // Only what the system holds already, so the read returns at once.
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(n - count, in));
  if (ReadFile(Handle(handle_), buf + count, want, &got, nullptr) == 0) {
    LineFailed(GetLastError());
    return count;
  }
  return count + got;
}

SerialError Win32SerialBackend::Write(const uint8_t* buf, size_t n) {
  if (handle_ == nullptr) return SerialError::Failed;
  if (n == 0) return SerialError::None;
  DWORD written = 0;
  if (WriteFile(Handle(handle_), buf, static_cast<DWORD>(n), &written, nullptr) == 0) {
    const DWORD err = GetLastError();
    const SerialError e = ErrorOfSystem(err);
    if (e == SerialError::TimedOut) {
      reason_ = SystemWords(err);
      return e;
    }
    LineFailed(err);
    return SerialError::LineGone;
  }
  if (written < n) return SerialError::TimedOut;
  // Bytes the system has taken are sent; the drain only paces the caller's time-outs.
  DrainOutput(n);
  return SerialError::None;
}

void Win32SerialBackend::DrainOutput(size_t bytes) {
  // A request counts as sent when its last byte has left the line: the answer time-outs
  // start from there. FlushFileBuffers would wait without a bound, so the output queue is
  // watched instead, for at most twice the wire time plus a margin.
  if (baud_ == 0) return;
  const auto wire = std::chrono::microseconds(uint64_t{bytes} * 10u * 1000000u / baud_);
  const auto deadline = Steady::now() + 2 * wire + std::chrono::milliseconds(kDrainMarginMs);
  for (;;) {
    uint32_t in = 0, out = 0;
    if (!QueueState(in, out) || out == 0) return;
    const auto left = deadline - Steady::now();
    if (left <= Steady::duration::zero()) return;
    const auto byteTime = std::chrono::microseconds(uint64_t{out} * 10u * 1000000u / baud_);
    SleepFor(std::min<Steady::duration>({byteTime, left, std::chrono::milliseconds(10)}));
  }
}

bool Win32SerialBackend::Cts() {
  if (handle_ == nullptr) return false;
  DWORD status = 0;
  // Drivers without modem lines (wine on a pseudo-terminal) refuse: CTS reads as off.
  if (GetCommModemStatus(Handle(handle_), &status) == 0) return false;
  return (status & MS_CTS_ON) != 0;
}

bool Win32SerialBackend::WaitReadable(uint32_t ms) {
  const auto start = Steady::now();
  const auto slice = std::chrono::milliseconds(ms);
  if (pendingHead_ < pendingCount_) return true;
  uint32_t in = 0, out = 0;
  if (handle_ != nullptr && QueueState(in, out)) {
    if (in > 0) return true;
    if (ms == 0) return false;
    DWORD got = 0;
    if (SetReadWait(ms) &&
        ReadFile(Handle(handle_), pending_, static_cast<DWORD>(kPendingSize), &got, nullptr) != 0) {
      pendingHead_ = 0;
      pendingCount_ = got;
      if (got > 0) return true;
      // Nothing within the wait: a time-out, or a line that has gone and returns at once.
      QueueState(in, out);
    } else if (handle_ != nullptr) {
      LineFailed(GetLastError());
    }
  }
  // Sleep out what is left of the slice so that the caller's loop keeps its pace instead of
  // burning a core, also when the line has gone or no port is open.
  SleepUntil(start + slice);
  return false;
}

}  // namespace tavrino
