// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/ProgramPath.h"

#include <windows.h>

#include <vector>

namespace tavrino::os {

std::filesystem::path ProgramPath() {
  // A long path may need more than MAX_PATH characters: grow until it fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 6; ++attempt) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::filesystem::path(std::wstring(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

}  // namespace tavrino::os
