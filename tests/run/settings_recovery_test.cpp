// SPDX-License-Identifier: GPL-2.0-or-later
// The panel's settings across a Program run: which phases run for each chip and version
// pair, what the settings memories hold afterwards, and what sector 6 holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>

#include "sim/PanelImages.h"
#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

constexpr uint32_t kBootCopy = 0x60000;
constexpr uint32_t kMemory2Copy = 0x64000;
constexpr uint32_t kMemory1Copy = 0x68000;

struct Before {
  Bytes memory1, memory2, sector6Settings, half;
};

struct SettingsCase {
  const char* name;
  uint8_t flashType;
  const char* panelVersion;
  int panelFormat;  // the layout the panel's settings are in
  const char* fileVersion;
  bool recovering;  // "Data recovering:" runs
  bool converting;  // "Data conversion:" runs
  bool sector6Erased;
  std::function<void(RunRig&, const Before&)> check;
};

// The settings stay as they were, in memory and in sector 6.
void Unchanged(RunRig& rig, const Before& b) {
  EXPECT_TRUE(rig.panel.Memory1() == b.memory1);
  EXPECT_TRUE(rig.panel.Memory2() == b.memory2);
  EXPECT_TRUE(rig.Flash(kMemory2Copy, 0xC000) == b.sector6Settings);
}

// Memory 1 went into the new layout, both memories carry good sums, and sector 6 holds
// a copy of exactly what the memories hold now.
void Converted(RunRig& rig, const Before& b, uint32_t from, uint32_t to) {
  const Bytes& m1 = rig.panel.Memory1();
  EXPECT_TRUE(
      std::equal(b.memory1.begin() + from, b.memory1.begin() + from + 1024, m1.begin() + to))
      << "the 1024 bytes of one run moved";
  EXPECT_TRUE(sim::Memory1SumsGood(m1));
  EXPECT_TRUE(sim::Memory2SumsGood(rig.panel.Memory2()));
  EXPECT_TRUE(rig.panel.Memory2() == b.memory2) << "memory 2 keeps its layout";
  EXPECT_TRUE(rig.Flash(kMemory2Copy, 0x4000) == rig.panel.Memory2());
  EXPECT_TRUE(rig.Flash(kMemory1Copy, 0x8000) == m1);
}

void To104(RunRig& rig, const Before& b) {
  Converted(rig, b, 0x01C0, 0x0000);
  const Bytes& m1 = rig.panel.Memory1();
  EXPECT_EQ(std::string(m1.begin() + 0x3C00, m1.begin() + 0x3C10), "Schedule 1      ");
}

void To103(RunRig& rig, const Before& b) {
  Converted(rig, b, 0x0000, 0x01C0);
}

// clang-format off
const SettingsCase kSettingsCases[] = {
    {"From103To104OnAmdConverts", 2, "1.03.05", 103, "1.04.02", true, true, true, To104},
    {"From104To103OnAmdConvertsBack", 2, "1.04.02", 104, "1.03.05", true, true, true, To103},
    {"From103To104OnAtmelConvertsWithoutErasing", 1, "1.03.05", 103, "1.04.02", true, true,
     false, To104},
    {"From104To104OnAtmelLeavesSettingsAlone", 1, "1.04.01", 104, "1.04.02", false, false,
     false, Unchanged},
    {"From104To104OnStRecoversWithoutConversion", 5, "1.04.01", 104, "1.04.02", true, false,
     true, Unchanged},
    {"From102To104RecoversWithoutConversion", 2, "1.02.00", 103, "1.04.02", true, false, true,
     Unchanged},
};
// clang-format on

// The case's name in test names and failures, never its bytes.
void PrintTo(const SettingsCase& c, std::ostream* os) {
  *os << c.name;
}

class SettingsAcrossProgramming : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsAcrossProgramming, AreKeptOrConverted) {
  const SettingsCase& c = GetParam();
  sim::PanelConfig config;
  config.flashType = c.flashType;
  RunRig rig(config);
  rig.panel.SynthesizeProgram(c.panelVersion, 1);
  rig.panel.FillSettings(c.panelFormat);
  Before b{rig.panel.Memory1(), rig.panel.Memory2(), rig.Flash(kMemory2Copy, 0xC000),
           rig.UseProgramFile(c.fileVersion, 1)};

  ASSERT_EQ(rig.core.Program(true), Outcome::Updated);
  const auto lines = rig.Lines();
  auto has = [&](const std::string& l) {
    return std::find(lines.begin(), lines.end(), l) != lines.end();
  };
  EXPECT_EQ(has(L("Data recovering:", kOk)), c.recovering);
  EXPECT_EQ(has(L("Data conversion:", kOk)), c.converting);
  // Conversion comes after the recovery and before the verification.
  if (c.converting) {
    const auto conv = std::find(lines.begin(), lines.end(), L("Data conversion:", kOk));
    ASSERT_NE(conv, lines.end());
    EXPECT_EQ(*(conv - 1), L("Data recovering:", kOk));
    EXPECT_EQ(*(conv + 1), L("Verification:", kOk));
  }
  EXPECT_EQ(rig.panel.CommandCount(0x66), c.sector6Erased ? 7u : 6u) << "sector erasures";
  EXPECT_TRUE(rig.Flash(kBootCopy, 0x4000) == Bytes(b.half.begin(), b.half.begin() + 0x4000))
      << "BootCopy";
  c.check(rig, b);
}

INSTANTIATE_TEST_SUITE_P(Run, SettingsAcrossProgramming, ::testing::ValuesIn(kSettingsCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsAcrossProgramming, WorkAreaFailureStopsBeforeSector6IsTouched) {
  RunRig rig;
  rig.panel.SynthesizeProgram("1.03.05", 1);
  rig.panel.FillSettings(103);
  rig.UseProgramFile("1.04.02", 1);
  const Bytes sector6 = rig.Flash(kBootCopy, 0x10000);
  // An access past the end of a work area, as a fault in the tables would make one.
  rig.hooks.At("Data recovering:", 5, [&rig] {
    const uint8_t b[2] = {0, 0};
    rig.core.settings.WriteSettingsArea(1, 0x7FFF, b, 2);
  });

  EXPECT_EQ(rig.core.Program(true), Outcome::InternalError);
  EXPECT_EQ(rig.StepLines().back(), L("Data recovering:", kBlad));
  EXPECT_EQ(rig.panel.CommandCount(0x66), 6u) << "sector 6 not erased";
  EXPECT_TRUE(rig.Flash(kBootCopy, 0x10000) == sector6);
  EXPECT_EQ(rig.panel.CommandCount(0x81) + rig.panel.CommandCount(0x82), 0u);
}

}  // namespace
}  // namespace tavrino::test
