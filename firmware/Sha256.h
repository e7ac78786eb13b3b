// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// SHA-256, for checking files that come from outside (the maker's images against their list
// of sums) and for naming a firmware file's bytes in what the host keeps.
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tavrino {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  void Update(std::span<const uint8_t> bytes);
  // Ends the hash; the object must not be updated afterwards.
  Digest Finish();

  static Digest Of(std::span<const uint8_t> bytes);
  // Lower-case hexadecimal, as sha256sum prints it.
  static std::string Hex(const Digest& digest);

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

}  // namespace tavrino
