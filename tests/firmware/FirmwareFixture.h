// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A firmware file on disk, the image it loads into, and a host whose front end and status
// log the tests read back.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "firmware/FirmwareFile.h"
#include "firmware/Packer.h"
#include "frontend/Clock.h"
#include "frontend/Host.h"
#include "frontend/StatusLog.h"
#include "support/ScriptedFrontEnd.h"

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

class FirmwareFixture : public ::testing::Test {
 protected:
  // Loads path the way an update run does: no dialog.
  bool Load(const std::string& path, ProgramHalf half = ProgramHalf::First) {
    file.FirmwareFileName = path;
    return file.OpenFile(false, half);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const auto& l : log.History()) out.push_back(StatusLog::Trimmed(l));
    return out;
  }
  std::vector<uint8_t> ProgramBytes(ProgramHalf half = ProgramHalf::First) const {
    std::vector<uint8_t> bytes(kProgramBytes);
    EXPECT_TRUE(image.ReadProgramBytes(half, 0, bytes.data(), kProgramBytes));
    return bytes;
  }

  TempDir dir;
  FakeClock clock;
  ScriptedFrontEnd ui;
  StatusLog log{59, 11};
  Host host{clock, ui, log};
  FirmwareImage image;
  FirmwareFile file{image, host};
};

}  // namespace tavrino::test
