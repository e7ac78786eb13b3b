// SPDX-License-Identifier: GPL-2.0-or-later
// Which COM ports Windows has: the system's list of DOS device names (COM1, COM7, ...) with
// the kernel device behind each (\Device\Serial0, \Device\VCP0 of a USB adapter), and
// whether another program holds one now.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "serial/PortDiscovery.h"
#include "serial/win32/Win32Serial.h"

namespace tavrino {

namespace {

// Every "COMn" the system knows, with the kernel device behind it. QueryDosDevice returns
// the whole list at once; the buffer grows until it fits (bounded).
std::vector<std::pair<std::string, std::string>> ComNames() {
  std::vector<std::pair<std::string, std::string>> names;
  std::vector<char> buffer(1 << 16);
  DWORD got = 0;
  for (int tries = 0; tries < 6; ++tries) {
    got = QueryDosDeviceA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got != 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buffer.resize(buffer.size() * 2);
  }
  for (const char* p = buffer.data(); got != 0 && *p != '\0'; p += std::strlen(p) + 1) {
    const std::string name = p;
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos)
      continue;
    char target[512] = {};
    const std::string kernel =
        QueryDosDeviceA(name.c_str(), target, sizeof target) != 0 ? target : "";
    names.emplace_back(name, kernel);
  }
  return names;
}

// The kernel device's name without its folder: "Serial0", "VCP0", "Silabser0".
std::string DriverOf(const std::string& kernel) {
  const size_t slash = kernel.find_last_of('\\');
  return slash == std::string::npos ? kernel : kernel.substr(slash + 1);
}

// Tries the exclusive open the backend makes, without setting anything on the line: a
// port another program has open refuses it; Tavrino's own lock is looked at first.
void Probe(const std::string& device, SerialDeviceInfo& info) {
  HANDLE lock = OpenMutexA(SYNCHRONIZE, FALSE, Win32SerialBackend::LockName(device).c_str());
  if (lock != nullptr) {
    const DWORD owned = WaitForSingleObject(lock, 0);
    if (owned == WAIT_OBJECT_0 || owned == WAIT_ABANDONED) {
      ReleaseMutex(lock);
    } else {
      info.held = Answer::Yes;
    }
    CloseHandle(lock);
    if (info.held == Answer::Yes) return;
  }
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    info.present = true;
    info.mayOpen = Answer::Yes;
    info.held = Answer::No;
    return;
  }
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      info.present = false;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      // Windows answers "access denied" for a COM port another program has open.
      info.held = Answer::Yes;
      break;
    default:
      break;
  }
}

}  // namespace

std::vector<SerialDeviceInfo> DiscoverSerialDevices(const DiscoveryRoots&) {
  std::vector<SerialDeviceInfo> devices;
  for (const auto& [name, kernel] : ComNames()) {
    SerialDeviceInfo info;
    info.device = "\\\\.\\" + name;
    info.driver = DriverOf(kernel);
    info.present = true;
    Probe(info.device, info);
    devices.push_back(info);
  }
  std::sort(devices.begin(), devices.end(),
            [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) {
              return a.device.size() != b.device.size() ? a.device.size() < b.device.size()
                                                        : a.device < b.device;
            });
  return devices;
}

SerialDeviceInfo ProbeSerialDevice(const std::string& device, const DiscoveryRoots&) {
  SerialDeviceInfo info;
  info.device = device;
  info.present = true;
  std::string name = device;
  if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
  for (const auto& [com, kernel] : ComNames())
    if (com == name) info.driver = DriverOf(kernel);
  Probe(device, info);
  return info;
}

}  // namespace tavrino
