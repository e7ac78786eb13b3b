// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware/Packer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "firmware/Checksum.h"
#include "firmware/Descramble.h"
#include "firmware/FirmwareImage.h"
#include "os/HostOs.h"

namespace tavrino {
namespace {

constexpr size_t kMaxLanguageDigits = 3;
const std::string kRecordSignature(kVersionRecordSignature, sizeof kVersionRecordSignature);

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

void StampHalf(uint8_t* half, const VersionStamp& stamp) {
  uint8_t* at = half + kVersionRecordOffset;
  if (stamp.signature) {
    std::memcpy(at, kRecordSignature.data(), kRecordSignature.size());
    at += kRecordSignature.size();
  }
  std::memcpy(at, stamp.chars.data(), 5);
  at[5] = stamp.language;
}

void SealHalf(uint8_t* half) {
  const HalfChecksum sums = BlockChecksum(half, kProgramBytes);
  half[kProgramBytes] = static_cast<uint8_t>(sums.sum & 0xFF);
  half[kProgramBytes + 1] = static_cast<uint8_t>(sums.sum >> 8);
  half[kProgramBytes + 2] = sums.xorValue;
  half[kProgramBytes + 3] = sums.rot;
}

}  // namespace

bool ParseVersionStamp(const std::string& text, VersionStamp& stamp, std::string& error) {
  // c.cc.cc:language
  const bool shape = text.size() > 8 && text.size() <= 8 + kMaxLanguageDigits && text[1] == '.' &&
                     text[4] == '.' && text[7] == ':';
  bool digits = shape;
  for (size_t i = 0; digits && i < text.size(); ++i) {
    if (i != 1 && i != 4 && i != 7) digits = IsDigit(text[i]);
  }
  const unsigned language = digits ? static_cast<unsigned>(std::stoul(text.substr(8))) : 0;
  if (!digits || language > 255) {
    error = "bad version stamp \"" + text +
            "\": expected c.cc.cc:language, e.g. 1.04.02:1 "
            "(digits; language 0..255)";
    return false;
  }
  stamp.chars = text.substr(0, 1) + text.substr(2, 2) + text.substr(5, 2);
  stamp.language = static_cast<uint8_t>(language);
  return true;
}

bool IsPlainHalfSize(uint64_t size) {
  return size == kProgramBytes || size == kHalfSize;
}

bool PackFirmware(const std::vector<std::vector<uint8_t>>& halves, const VersionStamp* stamp,
                  std::vector<uint8_t>& file, std::string& error) {
  if (halves.empty() || halves.size() > 2) {
    error = "a program file holds one or two halves, not " + std::to_string(halves.size());
    return false;
  }
  if (stamp != nullptr && stamp->chars.size() != 5) {
    error = "a version record holds five version characters, not \"" + stamp->chars + "\"";
    return false;
  }
  for (size_t i = 0; i < halves.size(); ++i) {
    if (!IsPlainHalfSize(halves[i].size())) {
      error = "half " + std::to_string(i + 1) + " has " + std::to_string(halves[i].size()) +
              " bytes; expected " + std::to_string(kProgramBytes) + " or " +
              std::to_string(kHalfSize);
      return false;
    }
  }
  file.assign(halves.size() * kHalfSize, 0);
  for (size_t i = 0; i < halves.size(); ++i) {
    uint8_t* half = file.data() + i * kHalfSize;
    std::memcpy(half, halves[i].data(), kProgramBytes);
    if (stamp != nullptr) StampHalf(half, *stamp);
    SealHalf(half);
    KeyPhase phase;
    ScrambleBytes(half, kHalfSize, phase);
  }
  return true;
}

bool ReadPlainHalf(const std::string& path, std::vector<uint8_t>& half, std::string& error) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status)) {
    error = path + ": not a readable file";
    return false;
  }
  const uint64_t size = std::filesystem::file_size(path, ec);
  if (ec || !IsPlainHalfSize(size)) {
    error = path + ": " + (ec ? std::string("size unknown") : std::to_string(size) + " bytes") +
            "; a program half is " + std::to_string(kProgramBytes) + " bytes, or " +
            std::to_string(kHalfSize) + " with a trailer to replace";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  half.assign(size, 0);
  if (!in.read(reinterpret_cast<char*>(half.data()), static_cast<std::streamsize>(size)) ||
      in.peek() != std::char_traits<char>::eof()) {
    error = path + ": could not be read whole";
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string& error) {
  // A packed file is made for others to load: it gets the mode a plain create would.
  const os::Failure failure = os::WriteFileAtomically(path, bytes, os::FileAccess::Shared);
  if (failure.empty()) return true;
  error = path + ": cannot write (" + failure + ")";
  return false;
}

}  // namespace tavrino
