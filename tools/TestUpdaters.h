// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Starter updater TEST images: stand-ins for the panel maker's updaters, for the tests, the
// demo and the simulated panel. Their code runs on no panel; their banner says TEST IMAGE,
// and the tool refuses them unless TAVRINO_ALLOW_TEST_UPDATERS=1.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrino::test_updaters {

inline constexpr size_t kTestImageSize = 8448;

struct TestImage {
  uint8_t flashType;
  std::string fileName;  // "AM29F040B.bin", as the tool looks for it
  std::vector<uint8_t> bytes;
};

// The five images, in the order of the chip codes 1, 2, 4, 5, 6.
std::vector<TestImage> TestImages();

// Writes the five image files into the folder (made when missing); empty when done, else
// why not.
std::string WriteTestImages(const std::filesystem::path& folder);

}  // namespace tavrino::test_updaters
