// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "serial/SerialBackend.h"

namespace tavrino::cli {

// What to tell the person when COM `port` (on `device`) did not open or was lost: which
// device was tried, and what to do about it (join the device's group, close the other
// program, map the port with TAVRINO_COMn). `reason` is the system's own words, if any.
std::string PortOpenMessage(uint16_t port, SerialError error, const std::string& device,
                            const std::string& reason = {});

}  // namespace tavrino::cli
