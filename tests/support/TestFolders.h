// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The few things tests ask of the system that POSIX and Windows spell differently: a fresh
// temporary folder of the test's own, and setting an environment variable.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

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

inline void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

}  // namespace tavrino::test
