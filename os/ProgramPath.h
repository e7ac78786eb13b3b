// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Where the running program's own file is, so that what is installed beside it (the data
// folder under the same prefix) is found wherever the installation was put.
#include <filesystem>

namespace tavrino::os {

// The running program's file, its links resolved; empty when the system does not say.
std::filesystem::path ProgramPath();

}  // namespace tavrino::os
