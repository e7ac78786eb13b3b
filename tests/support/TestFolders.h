// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A fresh temporary folder of the test's own, on POSIX and Windows alike (and, through
// support/Env.h, setting an environment variable).
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "support/Env.h"

namespace tavrino::test {

// A new, empty folder under the system's temporary folder; empty path when none could be
// made (the test's own asserts then fail on it).
inline std::filesystem::path MakeTempFolder(const std::string& prefix) {
  static std::mt19937_64 random{std::random_device{}()};
  for (int tries = 0; tries < 100; ++tries) {
    const auto dir = std::filesystem::temp_directory_path() /
                     (prefix + "-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (std::filesystem::create_directory(dir, error)) return dir;
  }
  return {};
}

}  // namespace tavrino::test
