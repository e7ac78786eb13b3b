// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>

namespace tavrino {

// One stretch of settings memory 1 that keeps its meaning between the two layouts:
// its address in the 103 layout, its address in the 104 layout, and its length.
struct ConversionRun {
  uint16_t address103;
  uint16_t address104;
  uint16_t length;
};

inline constexpr std::size_t kConversionRunCount = 69;

// Everything a 103 memory 1 shares with a 104 one. No two runs overlap in either layout,
// so the order in which they are applied does not matter; the bytes no run reaches take
// the target layout's factory defaults.
inline constexpr std::array<ConversionRun, kConversionRunCount> ConversionRuns = {{
    {0x8000, 0x84C0, 384},  {0x8180, 0x8480, 64},   {0x81C0, 0x8000, 1024}, {0x85C0, 0x8660, 72},
    {0x8608, 0x86B8, 40},   {0x8630, 0x8640, 32},   {0x8650, 0x8400, 128},  {0x86D0, 0x86F4, 4},
    {0x86E0, 0x8700, 1024}, {0x8AE0, 0xBA00, 32},   {0x8B00, 0xBAA0, 32},   {0x8B20, 0xBA98, 8},
    {0x8B28, 0xBAC0, 8},    {0x8B30, 0xBA60, 48},   {0x8B60, 0xB940, 192},  {0x8C20, 0xBA20, 32},
    {0x8C40, 0xB4C0, 1024}, {0x9040, 0xBA40, 32},   {0x9060, 0xBE60, 160},  {0x9100, 0xD000, 1664},
    {0x9780, 0xD6E2, 8},    {0x9788, 0xD6D0, 18},   {0x97A0, 0xD680, 80},   {0x97F8, 0xDC98, 8},
    {0x9800, 0xBF00, 4096}, {0xA800, 0xBD60, 256},  {0xAC00, 0x8BC0, 1088}, {0xB040, 0x9080, 64},
    {0xB080, 0x9000, 128},  {0xB100, 0x9100, 1024}, {0xB500, 0x90C0, 64},   {0xB540, 0x9500, 7168},
    {0xD140, 0xB140, 64},   {0xD180, 0xDC00, 128},  {0xD200, 0xB180, 64},   {0xD240, 0xB100, 64},
    {0xD280, 0xB1C0, 256},  {0xD380, 0xB340, 128},  {0xD400, 0xB2C0, 128},  {0xD480, 0xB3C0, 192},
    {0xD540, 0xDCA0, 1600}, {0xDB80, 0xDC80, 17},   {0xDB93, 0xDC91, 4},    {0xDBA0, 0xBAD8, 8},
    {0xDBA8, 0xBACE, 10},   {0xDBC0, 0xD6EA, 4},    {0xDBC4, 0x86FF, 1},    {0xDBC5, 0x86EE, 2},
    {0xDBC7, 0x86F3, 1},    {0xDBC8, 0xD6EE, 1},    {0xDBC9, 0x86F0, 3},    {0xDBCC, 0x86EC, 2},
    {0xDBCE, 0xD6EF, 15},   {0xDBDD, 0xBACD, 1},    {0xDBDE, 0xBAC8, 5},    {0xDBE3, 0x86F8, 1},
    {0xDBF0, 0x8B20, 128},  {0xDC70, 0xD700, 578},  {0xDEB2, 0xD9E4, 18},   {0xDEC4, 0xD9D2, 18},
    {0xDED6, 0xDA08, 18},   {0xDEE8, 0xD9F6, 18},   {0xDEFA, 0xDAF2, 180},  {0xDFAE, 0xD942, 144},
    {0xE03E, 0xDA1A, 18},   {0xE0BC, 0x86E0, 12},   {0xE0E0, 0xCF00, 256},  {0xE1E0, 0xB8C0, 64},
    {0xE2E0, 0xE2E0, 7456},
}};

// One item of a direction table: copy length bytes from source (old layout) to
// destination (new layout), both memory 1 addresses.
struct ConversionItem {
  uint16_t source;
  uint16_t destination;
  uint16_t length;
};
using ConversionTable = std::array<ConversionItem, kConversionRunCount>;

// The runs seen from one direction, in increasing order of source addresses, so that a
// conversion reads the old memory front to back.
constexpr ConversionTable DirectionTable(bool from103) {
  ConversionTable table{};
  for (std::size_t i = 0; i < ConversionRuns.size(); ++i) {
    const ConversionRun& run = ConversionRuns[i];
    table[i] = from103 ? ConversionItem{run.address103, run.address104, run.length}
                       : ConversionItem{run.address104, run.address103, run.length};
  }
  std::sort(table.begin(), table.end(),
            [](const ConversionItem& a, const ConversionItem& b) { return a.source < b.source; });
  return table;
}

inline constexpr ConversionTable Conversion103To104 = DirectionTable(true);
inline constexpr ConversionTable Conversion104To103 = DirectionTable(false);

namespace detail {
// A typo in the table above would silently corrupt settings; refuse to build instead.
constexpr bool ItemsFitAndDoNotOverlap(const ConversionTable& table) {
  uint32_t sourceEnd = 0x8000;
  for (const ConversionItem& item : table) {
    if (item.length == 0 || item.source < sourceEnd) return false;
    sourceEnd = uint32_t{item.source} + item.length;
    if (sourceEnd > 0x10000 || uint32_t{item.destination} + item.length > 0x10000) return false;
    if (item.destination < 0x8000) return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::ItemsFitAndDoNotOverlap(Conversion103To104));
static_assert(detail::ItemsFitAndDoNotOverlap(Conversion104To103));

}  // namespace tavrino
