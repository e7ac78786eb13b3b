// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// tavrino-cli ports: every serial device, the COMn that opens it, and whether it can be used.
#include <string>
#include <vector>

#include "serial/PortDiscovery.h"

namespace tavrino::cli {

// The table, one row per device: PORT (COMn or "-"), DEVICE, STATE (free, missing, busy,
// no permission), DRIVER, USB (vendor:product), SERIAL, STABLE NAME; then how to use a
// device that no COMn opens.
std::string PortsTableText(const std::vector<PortRow>& rows);

}  // namespace tavrino::cli
