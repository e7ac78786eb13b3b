// SPDX-License-Identifier: GPL-2.0-or-later
// What the platform's discovery found, joined with the COMn mapping: the ports table, the
// adapter the port dialog may offer, and the few words that say why a port cannot be used.
#include "serial/PortDiscovery.h"

#include <system_error>

#include "serial/SerialPort.h"

namespace tavrino {
namespace {

constexpr uint16_t kPortCount = 4;

std::string ShortName(const SerialDeviceInfo& info) {
  if (!info.stableName.empty()) {
    return std::filesystem::path(info.stableName).filename().string();
  }
  return info.device;
}

}  // namespace

bool SameDevice(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ea;
  std::error_code eb;
  const auto ra = std::filesystem::weakly_canonical(a, ea);
  const auto rb = std::filesystem::weakly_canonical(b, eb);
  if (ea || eb) return a == b;
  return ra == rb;
}

std::vector<PortRow> PortTable(const SerialPort& port, const DiscoveryRoots& roots) {
  std::vector<SerialDeviceInfo> devices = DiscoverSerialDevices(roots);
  std::vector<bool> taken(devices.size(), false);
  std::vector<PortRow> rows;
  for (uint16_t n = 1; n <= kPortCount; ++n) {
    const std::string device = port.DeviceOf(n);
    PortRow row;
    row.com = n;
    bool found = false;
    for (size_t i = 0; i < devices.size() && !found; ++i) {
      if (SameDevice(devices[i].device, device)) {
        row.info = devices[i];
        row.info.device = device;  // as the port names it (a link stays a link)
        taken[i] = found = true;
      }
    }
    if (!found) row.info = ProbeSerialDevice(device, roots);
    rows.push_back(std::move(row));
  }
  for (size_t i = 0; i < devices.size(); ++i) {
    if (!taken[i]) rows.push_back(PortRow{0, devices[i]});
  }
  return rows;
}

AdapterOffer OfferAdapter(const SerialPort& port, const std::array<bool, 4>& available,
                          const DiscoveryRoots& roots) {
  AdapterOffer offer;
  uint16_t com = 0;
  for (uint16_t n = 1; n <= kPortCount && com == 0; ++n) {
    if (!available[n - 1] && !port.IsMapped(n)) com = n;
  }
  if (com == 0) return offer;
  for (const SerialDeviceInfo& info : DiscoverSerialDevices(roots)) {
    if (!info.IsUsb() || !UnavailableReason(info).empty()) continue;
    bool opened = false;
    for (uint16_t n = 1; n <= kPortCount && !opened; ++n) {
      opened = SameDevice(port.DeviceOf(n), info.device);
    }
    if (opened) continue;
    offer.com = com;
    offer.device = info.device;
    offer.name = ShortName(info);
    return offer;
  }
  return offer;
}

std::string UnavailableReason(SerialBackend::OpenError error, const std::string& group) {
  switch (error) {
    case SerialBackend::OpenError::None:
      return {};
    case SerialBackend::OpenError::NotFound:
      return "missing";
    case SerialBackend::OpenError::Busy:
      return "busy: held by another program";
    case SerialBackend::OpenError::NoAccess:
      // Joining a group helps only where the group may read and write the device.
      if (group.empty()) return "no permission: ask an administrator";
      return "no permission: join the group " + group;
    case SerialBackend::OpenError::NotATerminal:
      return "not a serial port";
    case SerialBackend::OpenError::Unsupported:
    case SerialBackend::OpenError::LineGone:
    case SerialBackend::OpenError::TimedOut:
    case SerialBackend::OpenError::Failed:
      break;
  }
  return "does not open";
}

std::string UnavailableReason(const SerialDeviceInfo& info) {
  if (!info.present) return UnavailableReason(SerialBackend::OpenError::NotFound, info.group);
  if (!info.serialPort) return UnavailableReason(SerialBackend::OpenError::NotATerminal, {});
  if (info.mayOpen == Answer::No) {
    return UnavailableReason(SerialBackend::OpenError::NoAccess, info.group);
  }
  if (info.held == Answer::Yes) return UnavailableReason(SerialBackend::OpenError::Busy, {});
  return {};
}

}  // namespace tavrino
