// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/RunTexts.h"

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

std::string SettingsFaultText(const SettingsFault& fault) {
  switch (fault.kind) {
    case SettingsFault::Kind::Write:
      return "Error " + std::to_string(fault.area) + "w";
    case SettingsFault::Kind::Read:
      return "Error " + std::to_string(fault.area) + "r";
    case SettingsFault::Kind::Conversion:
      return "Internal error 1";
    case SettingsFault::Kind::None:
      break;
  }
  return "";
}

}  // namespace tavrino
