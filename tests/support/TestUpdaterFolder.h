// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A temporary folder of Starter updater images, removed with the object: by default the
// five test images that tavrino-pack --test-updaters writes.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "link/UpdaterImages.h"
#include "support/TestFolders.h"
#include "tools/TestUpdaters.h"

namespace tavrino::test {

// The test image for a flash type, as tavrino-pack writes it.
inline std::vector<uint8_t> TestUpdaterImage(uint8_t flashType) {
  for (auto& image : test_updaters::TestImages()) {
    if (image.flashType == flashType) return image.bytes;
  }
  return {};
}

class TestUpdaterFolder {
 public:
  explicit TestUpdaterFolder(bool withTestImages = true) {
    path_ = MakeTempFolder("tavrino-updaters");
    if (!withTestImages) return;
    for (const auto& image : test_updaters::TestImages()) Write(image.fileName, image.bytes);
  }
  ~TestUpdaterFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TestUpdaterFolder(const TestUpdaterFolder&) = delete;
  TestUpdaterFolder& operator=(const TestUpdaterFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(path_ / name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  void Write(const std::string& name, const std::string& text) const {
    Write(name, std::vector<uint8_t>(text.begin(), text.end()));
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tavrino::test
