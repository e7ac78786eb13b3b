// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings/DefaultSettings.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "settings/ConversionRuns.h"
#include "settings/PageSums.h"

namespace tavrino {

namespace {

constexpr uint16_t kMemoryBase = 0x8000;
constexpr std::size_t kNameWidth = 16;  // every name is 16 characters, padded with spaces

// A numbered list of names: prefix + number (at least digits wide, padded with pad).
struct NameList {
  uint16_t address;
  uint16_t firstNumber;
  uint16_t count;
  const char* prefix;
  uint8_t digits;
  char pad;
};

// Factory values that are not names.
struct ValueFill {
  uint16_t address;
  uint16_t length;
  uint8_t value;
};

// The 103 layout. The 104 image carries these over through the conversion runs and then
// renames what the 104 program names differently.
constexpr NameList kNames103[] = {
    {0x8000, 1, 24, "Partition ", 2, '0'},   {0x8180, 1, 4, "Keypad ", 1, ' '},
    {0x81C0, 1, 64, "Zone (MP) ", 2, '0'},   {0x8650, 1, 8, "Timer ", 2, '0'},
    {0x86E0, 1, 64, "Output (MP) ", 2, '0'}, {0x8B60, 1, 12, "Expander ", 2, '0'},
    {0x8C40, 1, 64, "User", 4, ' '},         {0x9060, 1, 10, "Tel. number ", 2, '0'},
    {0xA800, 1, 16, "Master user ", 1, ' '}, {0xB540, 65, 176, "User", 4, ' '},
};
constexpr ValueFill kValues103[] = {
    {0x85C0, 64, 0x01},   // zone types
    {0x8608, 24, 0x1E},   // partition entry delays, seconds
    {0x8630, 24, 0x3C},   // partition exit delays, seconds
    {0x8AE0, 32, 0x0A},   // output switch-on times, seconds
    {0xFE80, 128, 0xFF},  // no settings here: left erased
    {0xFFFE, 2, 0xFF},    // after the last page sum
};
constexpr NameList kNames104[] = {
    {0x8000, 1, 64, "Zone ", 2, '0'},         {0x8480, 1, 4, "LCD keypad ", 1, ' '},
    {0x8700, 1, 64, "Output ", 2, '0'},       {0xBC00, 1, 8, "Schedule ", 1, ' '},
    {0xBCC0, 1, 4, "Outputs group ", 1, ' '},
};

constexpr uint16_t kSettingsDateAddress = 0xFE60;
constexpr char kSettingsDate[] = "2002-04-15 09:22:";

// Per-output records of the two programs, 18 of each, that no conversion carries over.
constexpr uint16_t kRecordCount = 18;
constexpr uint16_t kRecords103Address = 0xE050;
constexpr uint8_t kRecord103[] = {0x62, 0x3F, 0x65, 0x45, 0x61, 0xFA};
constexpr uint16_t kRecords104Address = 0xDA2C;
constexpr uint8_t kRecord104[] = {0x62, 0x3F, 0x45, 0x65, 0x50, 0x41, 0x70, 0x61, 0x61, 0xF9, 0xFA};

uint8_t* At(SettingsImage& image, uint16_t address) {
  return image.data() + (address - kMemoryBase);
}

void PutNames(SettingsImage& image, const NameList& list) {
  for (uint16_t i = 0; i < list.count; ++i) {
    std::string number = std::to_string(list.firstNumber + i);
    if (number.size() < list.digits) number.insert(0, list.digits - number.size(), list.pad);
    std::string name = list.prefix + number;
    name.resize(kNameWidth, ' ');
    std::memcpy(At(image, static_cast<uint16_t>(list.address + kNameWidth * i)), name.data(),
                kNameWidth);
  }
}

template <std::size_t N>
void PutRecords(SettingsImage& image, uint16_t address, const uint8_t (&record)[N]) {
  for (uint16_t i = 0; i < kRecordCount; ++i)
    std::memcpy(At(image, static_cast<uint16_t>(address + N * i)), record, N);
}

void StoreMemory1Sums(SettingsImage& image) {
  const PageSumLayout& layout = kMemory1Sums;
  for (uint16_t page = 0; page < layout.pages; ++page) {
    const uint8_t* first = image.data() + layout.PageOffset(page);
    uint16_t sum = 0;
    for (uint16_t k = 0; k < layout.PageLength(page); ++k)
      sum = static_cast<uint16_t>(sum + first[k]);
    image[layout.sumsOffset + 2 * page] = static_cast<uint8_t>(sum & 0xFF);
    image[layout.sumsOffset + 2 * page + 1] = static_cast<uint8_t>(sum >> 8);
  }
}

SettingsImage Build103() {
  SettingsImage image{};
  for (const NameList& list : kNames103) PutNames(image, list);
  for (const ValueFill& fill : kValues103)
    std::fill_n(At(image, fill.address), fill.length, fill.value);
  std::memcpy(At(image, kSettingsDateAddress), kSettingsDate, sizeof kSettingsDate - 1);
  PutRecords(image, kRecords103Address, kRecord103);
  StoreMemory1Sums(image);
  return image;
}

// The same factory settings in the 104 layout: what both programs share sits where the
// conversion would put it, so converting the factory 103 settings gives the 104 ones.
SettingsImage Build104(const SettingsImage& image103) {
  SettingsImage image{};
  for (const ConversionItem& item : Conversion103To104)
    std::memcpy(At(image, item.destination), image103.data() + (item.source - kMemoryBase),
                item.length);
  for (const NameList& list : kNames104) PutNames(image, list);
  PutRecords(image, kRecords104Address, kRecord104);
  StoreMemory1Sums(image);
  return image;
}

}  // namespace

const SettingsImage& DefaultSettings103() {
  static const SettingsImage image = Build103();
  return image;
}

const SettingsImage& DefaultSettings104() {
  static const SettingsImage image = Build104(DefaultSettings103());
  return image;
}

}  // namespace tavrino
