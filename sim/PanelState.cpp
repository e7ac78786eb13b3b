// SPDX-License-Identifier: GPL-2.0-or-later
// The state file: a header, the configuration, the flash and both settings memories, and a
// CRC-32 over all of it, so that a damaged or foreign file is refused instead of loaded.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/PanelImages.h"
#include "sim/SimulatedPanel.h"

namespace tavrino::sim {
namespace {

constexpr char kMagic[8] = {'Q', 'Z', '1', '7', 'S', 'I', 'M', '\n'};
constexpr uint32_t kFormatVersion = 1;
constexpr size_t kConfigSize = 16;
constexpr size_t kHeaderSize = sizeof kMagic + 4;
constexpr size_t kFileSize =
    kHeaderSize + kConfigSize + kFlashSize + kMemory1Size + kMemory2Size + 4;

uint32_t Crc32(const uint8_t* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool KnownBaud(uint32_t baud) {
  return baud == 9600 || baud == 19200 || baud == 38400 || baud == 57600;
}

}  // namespace

bool SimulatedPanel::SaveState(const std::string& path) const {
  std::vector<uint8_t> out(std::begin(kMagic), std::end(kMagic));
  out.reserve(kFileSize);
  Put32(out, kFormatVersion);
  const PanelConfig& c = config_;
  for (uint8_t b : {c.flashType, c.starterVersion, c.starterLanguage, uint8_t(c.board24MHz),
                    uint8_t(c.badFlashVersion), uint8_t(c.firstHandshakeVariant), c.speedAnswer,
                    uint8_t(c.updaterOnly9600)})
    out.push_back(b);
  Put32(out, c.listenBaud);
  Put32(out, c.ctsDelayMs);
  out.insert(out.end(), flash_.begin(), flash_.end());
  out.insert(out.end(), memory1_.begin(), memory1_.end());
  out.insert(out.end(), memory2_.begin(), memory2_.end());
  Put32(out, Crc32(out.data(), out.size()));

  // Write beside the old file and rename, so that an interrupted save leaves the old one.
  const std::string temporary = path + ".tmp";
  std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  file.close();
  std::string& error = stateError_;
  if (!file) {
    std::remove(temporary.c_str());
    error = "cannot write " + temporary;
    return false;
  }
  // std::filesystem::rename replaces an existing file on every system (std::rename does
  // not on Windows).
  std::error_code renamed;
  std::filesystem::rename(temporary, path, renamed);
  if (renamed) {
    std::remove(temporary.c_str());
    error = "cannot replace " + path;
    return false;
  }
  error.clear();
  return true;
}

bool SimulatedPanel::LoadState(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    stateError_ = "cannot open " + path;
    return false;
  }
  // Read at most one byte past the expected size: enough to tell a longer file.
  std::vector<uint8_t> in(kFileSize + 1);
  file.read(reinterpret_cast<char*>(in.data()), static_cast<std::streamsize>(in.size()));
  in.resize(static_cast<size_t>(file.gcount()));
  if (in.size() < kHeaderSize || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0) {
    stateError_ = path + " is not a panel state file";
    return false;
  }
  if (Get32(in.data() + sizeof kMagic) != kFormatVersion) {
    stateError_ = path + " has a state format this panel does not know";
    return false;
  }
  if (in.size() != kFileSize) {
    stateError_ = path + " is damaged (wrong size)";
    return false;
  }
  if (Crc32(in.data(), kFileSize - 4) != Get32(in.data() + kFileSize - 4)) {
    stateError_ = path + " is damaged (check sum wrong)";
    return false;
  }
  const uint8_t* p = in.data() + kHeaderSize;
  PanelConfig c;
  c.flashType = p[0];
  c.starterVersion = p[1];
  c.starterLanguage = p[2];
  c.board24MHz = p[3] != 0;
  c.badFlashVersion = p[4] != 0;
  c.firstHandshakeVariant = p[5] != 0;
  c.speedAnswer = p[6];
  c.updaterOnly9600 = p[7] != 0;
  c.listenBaud = Get32(p + 8);
  c.ctsDelayMs = Get32(p + 12);
  if (!KnownBaud(c.listenBaud)) {
    stateError_ = path + " is damaged (listen speed " + std::to_string(c.listenBaud) + ")";
    return false;
  }
  p += kConfigSize;
  config_ = c;
  flash_.assign(p, p + kFlashSize);
  p += kFlashSize;
  memory1_.assign(p, p + kMemory1Size);
  p += kMemory1Size;
  memory2_.assign(p, p + kMemory2Size);
  PowerOn();  // a loaded panel has just been switched on
  stateError_.clear();
  return true;
}

}  // namespace tavrino::sim
