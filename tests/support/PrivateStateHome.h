// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the tool keeps on the host (recovery records, settings backups) goes, in every test
// process, to a folder of that process: never to the real home.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "support/TestFolders.h"

namespace tavrino::test {

inline const std::filesystem::path& PrivateStateHome() {
  // Never destroyed: the clean-up at exit still needs it.
  static const auto* dir = [] {
    auto* d =
        new std::filesystem::path(std::filesystem::temp_directory_path() /
                                  ("tavrino-test-state-" + std::to_string(std::random_device{}())));
    std::error_code error;
    std::filesystem::remove_all(*d, error);
    std::filesystem::create_directories(*d, error);
    SetEnv("XDG_STATE_HOME", d->string());
    std::atexit([] {
      std::error_code e;
      std::filesystem::remove_all(PrivateStateHome(), e);
    });
    return d;
  }();
  return *dir;
}

// The tool's folder under the private home, emptied when a new test begins, so that what
// one test leaves is never found by the next.
inline std::filesystem::path FreshStateForThisTest() {
  static std::string lastTest;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "";
  const auto dir = PrivateStateHome() / "tavrino";
  if (name != lastTest) {
    std::error_code error;
    std::filesystem::remove_all(dir, error);
    lastTest = name;
  }
  return dir;
}

inline const bool kStateHomeIsPrivate = !PrivateStateHome().empty();

}  // namespace tavrino::test
