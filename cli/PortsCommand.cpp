// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/PortsCommand.h"

#include <algorithm>
#include <array>

#include "frontend/Printable.h"

namespace tavrino::cli {
namespace {

constexpr size_t kColumns = 7;
using Row = std::array<std::string, kColumns>;

std::string Or(const std::string& text, const char* none) {
  return text.empty() ? std::string(none) : text;
}

std::string State(const SerialDeviceInfo& info) {
  const std::string reason = UnavailableReason(info);
  if (!reason.empty()) return reason;
  if (info.held == Answer::No) return "free";
  return "may open; in use: unknown";
}

}  // namespace

std::string PortsTableText(const std::vector<PortRow>& rows) {
  std::vector<Row> table;
  table.push_back({"PORT", "DEVICE", "STATE", "DRIVER", "USB", "SERIAL", "STABLE NAME"});
  bool unnamed = false;
  for (const PortRow& row : rows) {
    const SerialDeviceInfo& d = row.info;
    const std::string usb = d.IsUsb() ? d.usbVendor + ":" + d.usbProduct : std::string("-");
    // Every name may come from outside: a variable's value, or what an adapter says it is.
    table.push_back({row.com == 0 ? std::string("-") : "COM" + std::to_string(row.com),
                     Printable(d.device), State(d), Printable(Or(d.driver, "-")), Printable(usb),
                     Printable(Or(d.usbSerial, "-")), Printable(Or(d.stableName, "-"))});
    unnamed = unnamed || row.com == 0;
  }
  std::array<size_t, kColumns> width{};
  for (const Row& r : table) {
    for (size_t c = 0; c < kColumns; ++c) width[c] = std::max(width[c], r[c].size());
  }
  std::string out;
  for (const Row& r : table) {
    std::string line;
    for (size_t c = 0; c < kColumns; ++c) {
      line += r[c];
      if (c + 1 < kColumns) line += std::string(width[c] - r[c].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  if (unnamed) {
    out +=
        "\nA device without a port: use it for one command with --port DEVICE, or make it a "
        "port\nwith TAVRINO_COMn=DEVICE (for example TAVRINO_COM1=/dev/ttyUSB0).\n";
  }
  return out;
}

}  // namespace tavrino::cli
