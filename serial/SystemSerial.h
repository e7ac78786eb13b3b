// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <memory>

#include "serial/SerialBackend.h"

namespace tavrino {

// The serial backend of the platform the program was built for (termios or Win32).
std::unique_ptr<SerialBackend> MakeSystemSerialBackend();

}  // namespace tavrino
