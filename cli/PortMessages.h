#pragma once
#include <cstdint>
#include <string>

#include "serial/SerialBackend.h"

namespace tavrino::cli {

// What to tell the person when COM `port` (on `device`) did not open: which device was
// tried, and what to do about it (join the device's group, close the other program, map
// the port with TAVRINO_COMn).
std::string PortOpenMessage(uint16_t port, SerialBackend::OpenError error,
                            const std::string& device);

}  // namespace tavrino::cli
