// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware/Version.h"

#include <algorithm>
#include <array>

namespace tavrino {
namespace {

constexpr std::array<const char*, 9> kSuffixes = {" pol", " eng", " ukr", " rus", " ger",
                                                  " slo", " ita", " cze", " hun"};
constexpr uint8_t kErasedByte = 0xFF;
// Older programs had no language variants, so their version is shown without a suffix.
const std::string kFirstVersionWithLanguage = "1.03.03";

}  // namespace

std::string LanguageSuffix(uint8_t code, bool erasedIsPolish) {
  if (code < kSuffixes.size()) return kSuffixes[code];
  if (erasedIsPolish && code == kErasedByte) return kSuffixes[0];
  return " ???";
}

std::string VersionText(const std::string& fiveChars, uint8_t language) {
  std::string c = fiveChars.substr(0, 5);
  c.resize(5, ' ');
  std::string text = c.substr(0, 1) + "." + c.substr(1, 2) + "." + c.substr(3, 2);
  if (!TextLess(text, kFirstVersionWithLanguage)) text += LanguageSuffix(language);
  return text;
}

bool TextLess(const std::string& a, const std::string& b) {
  // Unsigned bytes: an erased 0xFF character sorts above every digit.
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

}  // namespace tavrino
