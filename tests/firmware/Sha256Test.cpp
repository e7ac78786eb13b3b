// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "firmware/Sha256.h"

namespace tavrino {
namespace {

std::string HexOf(const std::string& text) {
  return Sha256::Hex(Sha256::Of({reinterpret_cast<const uint8_t*>(text.data()), text.size()}));
}

TEST(Sha256Test, KnownDigests) {
  EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks: the padding spills into a second one.
  EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256Test, PiecewiseEqualsWhole) {
  std::string text(1000, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7);
  Sha256 hash;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  hash.Update({bytes, 63});
  hash.Update({bytes + 63, 65});
  hash.Update({bytes + 128, text.size() - 128});
  EXPECT_EQ(Sha256::Hex(hash.Finish()), HexOf(text));
}

}  // namespace
}  // namespace tavrino
