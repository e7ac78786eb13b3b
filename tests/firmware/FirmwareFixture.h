// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A firmware file on disk, the image it loads into, and a watcher that counts the blocks a
// load reads and can act between two of them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "firmware/FirmwareFile.h"
#include "firmware/Packer.h"

namespace tavrino::test {

// Program bytes that differ from half to half and from block to block, so that a byte
// taken from the wrong place shows.
inline std::vector<uint8_t> PlainHalf(uint8_t seed) {
  std::vector<uint8_t> half(kProgramBytes);
  for (size_t i = 0; i < half.size(); ++i) {
    half[i] = static_cast<uint8_t>((i * 7 + (i >> 9) * 13 + seed * 101) & 0xFF);
  }
  return half;
}

inline VersionStamp Stamp(const std::string& chars, uint8_t language, bool signature = false) {
  return {chars, language, signature};
}

inline std::vector<uint8_t> Pack(const std::vector<std::vector<uint8_t>>& halves,
                                 const VersionStamp* stamp = nullptr) {
  std::vector<uint8_t> file;
  std::string error;
  EXPECT_TRUE(PackFirmware(halves, stamp, file, error)) << error;
  return file;
}

class TempDir {
 public:
  TempDir() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const auto candidate = std::filesystem::temp_directory_path() /
                             ("tavrino-fw-" + std::to_string(random()) + std::to_string(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) path_ = candidate;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }

 private:
  std::filesystem::path path_;
};

// Records what a load tells as it goes; stops it once `stopAfter` blocks are read (-1: never).
struct BlockCounter : ReadWatcher {
  void Opened() override { ++opened; }
  void BeforeBlock(int32_t done, int32_t total) override {
    ++blocks;
    lastDone = done;
    lastTotal = total;
    if (onBlock) onBlock();
  }
  bool StopRead() override { return stopAfter >= 0 && blocks >= stopAfter; }

  int opened = 0;
  int blocks = 0;
  int32_t lastDone = -1;
  int32_t lastTotal = -1;
  int stopAfter = -1;
  std::function<void()> onBlock;  // after BeforeBlock, before the block is read
};

class FirmwareFixture : public ::testing::Test {
 protected:
  // Loads path the way an update run does, counting afresh; true when it loaded.
  bool Load(const std::string& path, ProgramHalf half = ProgramHalf::First) {
    watcher.opened = watcher.blocks = 0;
    result = file.Load(path, half, watcher);
    return result == FirmwareFile::Result::Loaded;
  }
  std::vector<uint8_t> ProgramBytes(ProgramHalf half = ProgramHalf::First) const {
    std::vector<uint8_t> bytes(kProgramBytes);
    EXPECT_TRUE(image.ReadProgramBytes(half, 0, bytes.data(), kProgramBytes));
    return bytes;
  }

  TempDir dir;
  BlockCounter watcher;
  FirmwareImage image;
  FirmwareFile file{image};
  FirmwareFile::Result result = FirmwareFile::Result::Rejected;
};

}  // namespace tavrino::test
