// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/ProgramPath.h"

#include <system_error>

namespace tavrino::os {

std::filesystem::path ProgramPath() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : self;
}

}  // namespace tavrino::os
