// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What a converted memory 1 must hold, built here from the layouts written out below and
// not from the code's own tables. Memories are indexed by address - 0x8000.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "SettingsFixture.h"

namespace tavrino::test {

struct Run {
  uint16_t at103;
  uint16_t at104;
  uint16_t length;
};

// The stretches a 103 memory 1 shares with a 104 one.
inline const std::vector<Run> kRuns = {
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
};

inline constexpr uint32_t kBase = 0x8000;

struct Range {
  uint16_t first;
  uint16_t last;
};

// Bytes of each layout that no run reaches, and what the factory settings hold there.
inline const std::vector<Range> kZeros104 = {
    {0x86A8, 0x86B7}, {0x86F9, 0x86FE}, {0x8B00, 0x8B1F}, {0x8BA0, 0x8BBF},
    {0xB480, 0xB4BF}, {0xB900, 0xB93F}, {0xBA90, 0xBA97}, {0xD6FE, 0xD6FF},
    {0xDBA6, 0xDBFF}, {0xDC95, 0xDC97}, {0xBAE0, 0xBD5F},  // but for the names below
};
inline const std::vector<Range> kZeros103 = {
    {0x86D4, 0x86DF}, {0x979A, 0x979F}, {0x97F0, 0x97F7}, {0xA900, 0xABFF}, {0xDB91, 0xDB92},
    {0xDB97, 0xDB9F}, {0xDBB2, 0xDBBF}, {0xDBE4, 0xDBEF}, {0xE0C8, 0xE0DF}, {0xE220, 0xE2DF},
};
inline const Range kGroups104{0xDA2C, 0xDAF1};  // 18 x 11 bytes
inline const uint8_t kGroup104[11] = {0x62, 0x3F, 0x45, 0x65, 0x50, 0x41,
                                      0x70, 0x61, 0x61, 0xF9, 0xFA};
inline const Range kGroups103{0xE050, 0xE0BB};  // 18 x 6 bytes
inline const uint8_t kGroup103[6] = {0x62, 0x3F, 0x65, 0x45, 0x61, 0xFA};

// A whole memory holding the listed factory bytes of a layout (and zeros elsewhere).
inline Memory ListedDefaults(bool layout104) {
  Memory m(kAreaLength, 0);
  const Range groups = layout104 ? kGroups104 : kGroups103;
  const uint8_t* group = layout104 ? kGroup104 : kGroup103;
  const uint32_t size = layout104 ? 11 : 6;
  for (uint32_t a = groups.first; a <= groups.last; ++a)
    m[a - kBase] = group[(a - groups.first) % size];
  if (layout104) {
    const std::string schedules =
        "Schedule 1      Schedule 2      Schedule 3      Schedule 4      "
        "Schedule 5      Schedule 6      Schedule 7      Schedule 8      ";
    const std::string groupNames =
        "Outputs group 1 Outputs group 2 Outputs group 3 Outputs group 4 ";
    std::memcpy(&m[0xBC00 - kBase], schedules.data(), schedules.size());
    std::memcpy(&m[0xBCC0 - kBase], groupNames.data(), groupNames.size());
  }
  return m;
}

// The addresses a run covers in one layout: 0 = none.
inline std::vector<int> Coverage(bool layout104) {
  std::vector<int> covered(kAreaLength, 0);
  for (const Run& r : kRuns)
    for (uint32_t k = 0; k < r.length; ++k) ++covered[(layout104 ? r.at104 : r.at103) + k - kBase];
  return covered;
}

// Memory 1 after converting old into the other layout: listed defaults, the runs,
// 0xFE80..0xFEFF erased, then the 127 page sums (page 126 only 0xFE00..0xFE5F).
inline Memory ExpectedConversion(const Memory& old, bool to104) {
  Memory m = ListedDefaults(to104);
  for (const Run& r : kRuns) {
    const uint32_t from = (to104 ? r.at103 : r.at104) - kBase;
    const uint32_t to = (to104 ? r.at104 : r.at103) - kBase;
    for (uint32_t k = 0; k < r.length; ++k) m[to + k] = old[from + k];
  }
  for (uint32_t a = 0xFE80; a <= 0xFEFF; ++a) m[a - kBase] = 0xFF;
  for (uint32_t page = 0; page < 127; ++page)
    PutSum(m, 0x7F00 + 2 * page, SumOf(m, 256 * page, page == 126 ? 96 : 256));
  return m;
}

}  // namespace tavrino::test
