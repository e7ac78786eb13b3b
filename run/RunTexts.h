// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "settings/SettingsAreas.h"

namespace tavrino {

// The low n nibbles of value as n upper-case hexadecimal digits, leading zeros kept:
// HexDigits(0x12006, 5) is "12006", HexDigits(0x12006, 4) is "2006".
std::string HexDigits(uint32_t value, int n);

// A keypad progress text: the 12-character label, the percentage right-aligned in three
// characters, and "%" ("Erasing      20%").
std::string KeypadPercent(const std::string& label, int32_t percent);

// The box of an internal consistency error in the settings work areas: "Error <area>w" or
// "Error <area>r" for a refused access, "Internal error 1" for a conversion there is none
// of; empty for no fault.
std::string SettingsFaultText(const SettingsFault& fault);

}  // namespace tavrino
