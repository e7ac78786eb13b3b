#include "run/RunTexts.h"

#include <array>

namespace tavrino {

std::string HexDigits(uint32_t value, int n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<size_t>(n), '0');
  for (int i = n - 1; i >= 0; --i) {
    text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return text;
}

std::string KeypadPercent(const std::string& label, int32_t percent) {
  std::string number = std::to_string(percent);
  if (number.size() < 3) number.insert(0, 3 - number.size(), ' ');
  return label + number + "%";
}

std::string FlashTypeName(uint8_t flashType) {
  static const std::array<const char*, 6> kNames = {"ATMEL AT29C040A",   "AMD Am29F040",
                                                    "Macronix MX29F040", "Winbond W29C040",
                                                    "ST M29F040B",       "AMIC A29040B"};
  if (flashType < 1 || flashType > kNames.size()) return {};
  return kNames[flashType - 1];
}

}  // namespace tavrino
