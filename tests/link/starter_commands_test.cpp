// SPDX-License-Identifier: GPL-2.0-or-later
// The Starter's flash, settings and keypad commands against the simulated panel: what each
// sends, what it takes from the answer, and how often it tries.
#include <gtest/gtest.h>

#include <functional>

#include "frontend/StatusLog.h"
#include "link/StarterRig.h"
#include "serial/InMemoryLine.h"

namespace tavrino::test {
namespace {

Bytes Pattern(uint8_t seed) {
  Bytes b(256);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

// A connected rig: the handshake found the Starter at 9600 bit/s, second variant.
struct Connected : StarterRig {
  explicit Connected(const sim::PanelConfig& config = {}) : StarterRig(config, 3) {
    EXPECT_EQ(starter().ConnectStarter(false), Handshake::Connected);
  }
};

TEST(FlashReads, ByteBlockAndChecksumsComeFromTheFlashAtTheAddress) {
  Connected rig;
  auto& flash = rig.panel.Flash();
  for (int i = 0; i < 512; ++i) flash[0x23400 + i] = static_cast<uint8_t>(i * 13 + 5);

  uint8_t value = 0;
  ASSERT_TRUE(rig.starter().ReadFlashByte(0x71FF9, value));
  EXPECT_EQ(value, flash[0x71FF9]);

  Bytes block(256);
  ASSERT_TRUE(rig.starter().ReadFlashBlock(0x23400, block.data()));
  EXPECT_EQ(block, Bytes(flash.begin() + 0x23400, flash.begin() + 0x23500));

  uint16_t sum = 0xB094;
  uint8_t x = 0x7A, rot = 0x3E;
  for (int i = 0; i < 512; ++i) {
    const uint8_t b = flash[0x23400 + i];
    sum = static_cast<uint16_t>(sum + b);
    x ^= b;
    const uint8_t t = static_cast<uint8_t>(b + rot);
    rot = static_cast<uint8_t>(t << 4 | t >> 4);
  }
  uint16_t gotSum = 0;
  uint8_t gotXor = 0, gotRot = 0;
  ASSERT_TRUE(rig.starter().ReadFlashChecksum(0x23400, gotSum, gotXor, gotRot));
  EXPECT_EQ(gotSum, sum);
  EXPECT_EQ(gotXor, x);
  EXPECT_EQ(gotRot, rot);

  EXPECT_EQ(rig.Requests()[1], (Bytes{0x62, 0xF9, 0x1F, 0x07, 0x01}));
  EXPECT_EQ(rig.Requests()[2], (Bytes{0x62, 0x00, 0x34, 0x02, 0x00}));
  EXPECT_EQ(rig.Requests()[3], (Bytes{0x64, 0x00, 0x34, 0x02, 0x00, 0x02, 0x00}));
}

TEST(FlashReads, AnswerOfTheWrongLengthCountsAsAWrongAnswer) {
  for (uint32_t wrong : {3u, 4u}) {
    SCOPED_TRACE(wrong);
    Connected rig;
    rig.faults().wrongLengthNextAnswers = wrong;
    uint8_t value = 0;
    EXPECT_EQ(rig.starter().ReadFlashByte(0x71FF9, value), wrong < 4);
    EXPECT_EQ(rig.panel.CommandCount(kRead), 4u);
    if (wrong < 4) {
      EXPECT_EQ(value, rig.panel.Flash()[0x71FF9]);
    }
  }
}

struct RetryCase {
  const char* name;
  std::function<void(sim::Faults&)> fault;
  std::function<int(Starter&)> call;
  uint8_t code;
  int result;
  uint32_t attempts;
  uint32_t timeoutMs;  // each attempt waits this out in silence; 0 when the panel answers
};

Bytes gBlock(256);

class RetryLimits : public testing::TestWithParam<RetryCase> {};

TEST_P(RetryLimits, EachCommandGivesUpAfterItsLimit) {
  const RetryCase& c = GetParam();
  Connected rig;
  c.fault(rig.faults());
  const uint32_t start = rig.clock.NowMs();
  EXPECT_EQ(c.call(rig.starter()), c.result);
  const uint32_t elapsed = rig.clock.NowMs() - start;
  EXPECT_EQ(rig.trace.SpeedsOf(c.code).size(), c.attempts);
  EXPECT_GE(elapsed, c.attempts * c.timeoutMs);
  if (c.timeoutMs > 0) {
    EXPECT_LE(elapsed, c.attempts * (c.timeoutMs + 100));
  }
}

auto Silent(uint8_t code) {
  return [code](sim::Faults& f) { f.silentCommands = {code}; };
}
auto Refused(uint8_t code) {
  return [code](sim::Faults& f) { f.refuseCommands = {code}; };
}
int ReadByte(Starter& s) {
  uint8_t v;
  return s.ReadFlashByte(0x100, v);
}
int ReadBlock(Starter& s) {
  return s.ReadFlashBlock(0x100, gBlock.data());
}
int Checksum(Starter& s) {
  uint16_t sum;
  uint8_t x, r;
  return s.ReadFlashChecksum(0x200, sum, x, r);
}
int Erase(Starter& s) {
  return static_cast<int>(s.EraseFlash(3));
}
int Write(Starter& s) {
  return static_cast<int>(s.WriteFlashBlock(0x100, gBlock.data()));
}
constexpr int kNoAnswer = static_cast<int>(FlashStatus::NoAnswer);
constexpr int kRefused = static_cast<int>(FlashStatus::Refused);
int ReadMemory(Starter& s) {
  return s.ReadDataBlock(1, 0x8000, gBlock.data());
}
int WriteMemory(Starter& s) {
  return static_cast<int>(s.WriteDataBlock(1, 0x8000, gBlock.data()));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RetryLimits,
    testing::Values(
        RetryCase{"ReadByteSilent", Silent(kRead), ReadByte, kRead, false, 4, 3000},
        RetryCase{"ReadBlockSilent", Silent(kRead), ReadBlock, kRead, false, 4, 3000},
        RetryCase{"ReadBlockRefused", Refused(kRead), ReadBlock, kRead, false, 4, 0},
        RetryCase{"ChecksumRefused", Refused(kChecksum), Checksum, kChecksum, false, 4, 0},
        // Two spoilt answers and two refusals: one counter for both, so four tries in all.
        RetryCase{"ChecksumMixedFailures",
                  [](sim::Faults& f) {
                    f.corruptNextAnswers = 2;
                    f.refuseCommands = {kChecksum};
                  },
                  Checksum, kChecksum, false, 4, 0},
        RetryCase{"EraseSilent", Silent(kErase), Erase, kErase, kNoAnswer, 3, 15000},
        RetryCase{"EraseRefused", Refused(kErase), Erase, kErase, kRefused, 3, 0},
        RetryCase{"WriteSilent", Silent(kWrite), Write, kWrite, kNoAnswer, 4, 3000},
        RetryCase{"WriteRefused", Refused(kWrite), Write, kWrite, kRefused, 4, 0},
        RetryCase{"SettingsReadSilent", Silent(kReadMemory1), ReadMemory, kReadMemory1, false, 4,
                  49},
        RetryCase{"SettingsWriteSilent", Silent(kWriteMemory1), WriteMemory, kWriteMemory1,
                  kNoAnswer, 4, 49},
        RetryCase{"SettingsWriteRefused", Refused(kWriteMemory1), WriteMemory, kWriteMemory1,
                  kRefused, 4, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StopDuringRetries, EndsEveryLoopAfterThePassUnderWay) {
  Connected rig;
  rig.faults().silentCommands = {kErase, kWrite, kRead};
  rig.ui.onPump = [&] { rig.core.host.RequestStop(); };
  EXPECT_EQ(rig.starter().EraseFlash(0), FlashStatus::Refused) << "stopped, not out of answers";
  EXPECT_EQ(rig.starter().WriteFlashBlock(0, gBlock.data()), FlashStatus::Refused);
  uint8_t v;
  EXPECT_FALSE(rig.starter().ReadFlashByte(0, v));
  EXPECT_EQ(rig.trace.SpeedsOf(kErase).size(), 1u);
  EXPECT_EQ(rig.trace.SpeedsOf(kWrite).size(), 1u);
  EXPECT_EQ(rig.trace.SpeedsOf(kRead).size(), 1u);
}

TEST(FlashWrites, EraseAndBlockWriteLandAtTheBlockWithTheLowByteCleared) {
  Connected rig;  // a chip that must be erased before writing
  auto& flash = rig.panel.Flash();
  const Bytes data = Pattern(0x40);
  ASSERT_EQ(rig.starter().EraseFlash(1), FlashStatus::Done);
  EXPECT_EQ(flash[0x1ABCD], 0xFF);
  ASSERT_EQ(rig.starter().WriteFlashBlock(0x12006, data.data()), FlashStatus::Done);

  const auto writes = rig.RequestsWithCode(kWrite);
  ASSERT_EQ(writes.size(), 1u);
  ASSERT_EQ(writes[0].size(), 259u);
  EXPECT_EQ((Bytes{writes[0][0], writes[0][1], writes[0][2]}), (Bytes{0x65, 0x20, 0x01}));
  EXPECT_EQ(Bytes(writes[0].begin() + 3, writes[0].end()), data);
  EXPECT_EQ(Bytes(flash.begin() + 0x12000, flash.begin() + 0x12100), data);
  EXPECT_EQ(flash[0x12100], 0xFF);
  EXPECT_EQ(rig.RequestsWithCode(kErase), (std::vector<Bytes>{{0x66, 0x01, 0x66, 0x66}}));
}

TEST(SettingsBlocks, WriteAndReadBackTheMemoryAtTheAddress) {
  Connected rig;
  const Bytes data = Pattern(0x11);
  ASSERT_EQ(rig.starter().WriteDataBlock(1, 0x8300, data.data()), FlashStatus::Done);
  EXPECT_EQ(Bytes(rig.panel.Memory1().begin() + 0x300, rig.panel.Memory1().begin() + 0x400), data);
  Bytes back(256);
  ASSERT_TRUE(rig.starter().ReadDataBlock(1, 0x8300, back.data()));
  EXPECT_EQ(back, data);
  EXPECT_EQ(rig.RequestsWithCode(kReadMemory1), (std::vector<Bytes>{{0x71, 0x00, 0x83, 0xFF}}));
}

// Answers that come after the time-out, while the panel already takes the copy sent
// again: each block read must still bring its own block, never the one before it, and
// the exchanges after it must keep their answers.
TEST(LateAnswers, EveryReadStillBringsItsOwnBlock) {
  struct Case {
    const char* name;
    uint8_t memory;  // 0: flash
    uint32_t late, lateByMs;
  };
  for (const Case& c :
       {Case{"settings, one late", 1, 1, 60}, Case{"settings, two late", 1, 2, 60},
        Case{"settings, three late", 2, 3, 55}, Case{"flash, one late", 0, 1, 3100}}) {
    SCOPED_TRACE(c.name);
    Connected rig;
    auto& m = c.memory == 1   ? rig.panel.Memory1()
              : c.memory == 2 ? rig.panel.Memory2()
                              : rig.panel.Flash();
    for (uint32_t i = 0; i < 4 * 256; ++i) m[i] = static_cast<uint8_t>(i * 7 + i / 256);
    auto contents = [&m](uint32_t block) {
      return Bytes(m.begin() + 256 * block, m.begin() + 256 * block + 256);
    };
    rig.faults().lateNextAnswers = c.late;
    rig.faults().lateByMs = c.lateByMs;
    for (uint32_t block = 0; block < 4; ++block) {
      SCOPED_TRACE(block);
      Bytes got(256);
      ASSERT_TRUE(c.memory == 0
                      ? rig.starter().ReadFlashBlock(256 * block, got.data())
                      : rig.starter().ReadDataBlock(
                            c.memory, static_cast<uint16_t>(0x8000 + 256 * block), got.data()));
      EXPECT_TRUE(got == contents(block)) << "an earlier block came back";
    }
    const Bytes data = Pattern(0x5A);
    ASSERT_EQ(rig.starter().WriteDataBlock(1, 0x8400, data.data()), FlashStatus::Done);
    EXPECT_EQ(Bytes(rig.panel.Memory1().begin() + 0x400, rig.panel.Memory1().begin() + 0x500),
              data);
    uint8_t value = 0;
    ASSERT_TRUE(rig.starter().ReadFlashByte(0x100, value));
    EXPECT_EQ(value, rig.panel.Flash()[0x100]);
  }
}

TEST(SettingsBlocks, MemoryNumberThatWouldNameAnotherCommandIsRefusedUnsent) {
  Connected rig;
  const uint32_t before = rig.panel.RequestCount();
  EXPECT_FALSE(rig.starter().ReadDataBlock(144, 0x8000, gBlock.data()));
  EXPECT_EQ(rig.starter().WriteDataBlock(128, 0x8000, gBlock.data()), FlashStatus::Refused);
  EXPECT_EQ(rig.panel.RequestCount(), before);
}

TEST(IdentifyStarter, OneAttemptLeavesTheAnswerForTheCaller) {
  sim::PanelConfig config;
  config.flashType = 5;
  config.starterVersion = 0x30;
  Connected rig(config);
  ASSERT_TRUE(rig.starter().IdentifyStarter());
  EXPECT_EQ(rig.core.link.AnswerCode(), AnswerData);
  EXPECT_EQ(rig.core.link.AnswerData(0), 5);
  EXPECT_EQ(rig.core.link.AnswerData(1), 0x30);

  rig.faults().silentCommands = {kIdentify};
  EXPECT_FALSE(rig.starter().IdentifyStarter());
  EXPECT_EQ(rig.panel.CommandCount(kIdentify), 2u);
}

struct TextCase {
  const char* upper;
  const char* lower;
  bool banner;
  size_t n;
  std::string keypad;  // what the panel records
};

TEST(ShowPanelText, EachCaseSendsItsKindWithLinesPaddedAndCutTo16) {
  const TextCase cases[] = {
      {"", "", false, 4, "clear"},
      {"", "Erasing      42%", false, 19, "lower:Erasing      42%"},
      {"Twenty characters!!!", "", false, 19, "upper:Twenty character"},
      {"Tavrino v4.06", " ", true, 36, "banner:Tavrino v4.06   |                "},
      {"Tavrino v4.06", "Express mode    ", false, 36, "text:Tavrino v4.06   |Express mode    "},
  };
  Connected rig;
  rig.starter().PanelTextEnabled = true;
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.keypad);
    rig.starter().ShowPanelText(c.upper, c.lower, c.banner);
    const auto texts = rig.RequestsWithCode(kText);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().size(), c.n);
    EXPECT_EQ(texts.back()[1], c.n - 2) << "count of the bytes that follow";
    EXPECT_EQ(rig.panel.KeypadHistory().back(), c.keypad);
  }
  EXPECT_EQ(rig.RequestsWithCode(kText)[0], (Bytes{0x21, 0x02, 0x72, 0x66}));
  EXPECT_EQ(rig.RequestsWithCode(kText)[2][2], 0x7C);
  EXPECT_EQ(rig.RequestsWithCode(kText)[1][2], 0x7D);
  EXPECT_EQ((Bytes{rig.RequestsWithCode(kText)[3][2], rig.RequestsWithCode(kText)[3][3]}),
            (Bytes{0x73, 0xFF}));
  EXPECT_EQ(rig.RequestsWithCode(kText)[4][2], 0x74);
}

TEST(ShowPanelText, SilentWhileDisabled) {
  Connected rig;
  const uint32_t before = rig.panel.RequestCount();
  const uint32_t now = rig.clock.NowMs();
  rig.starter().ShowPanelText("Tavrino v4.06", " ", true);
  EXPECT_EQ(rig.panel.RequestCount(), before);
  EXPECT_EQ(rig.clock.NowMs(), now);
  EXPECT_TRUE(rig.panel.KeypadHistory().empty());
}

// A checksum answer too short to carry its four bytes must not pass off an earlier
// answer's bytes as the block's values.
TEST(FlashReads, ChecksumAnswerTooShortIsAFailureNotStaleValues) {
  FakeClock clock(1000);
  InMemoryLine line(clock);
  ScriptedFrontEnd ui;
  StatusLog log;
  Subsystems core(line, clock, ui, log);
  core.ports.PortNumber = 1;
  ASSERT_TRUE(core.ports.ApplyLinkSpeed());
  auto answer = [](const Bytes& data) { return sim::EncodeAnswer(AnswerData, data); };
  uint16_t sum = 0;
  uint8_t x = 0, rot = 0;
  line.Arrive(answer({0x34, 0x12, 0x56, 0x78}), 1);
  ASSERT_TRUE(core.starter.ReadFlashChecksum(0, sum, x, rot));
  EXPECT_EQ(sum, 0x1234);
  EXPECT_EQ(x, 0x56);
  EXPECT_EQ(rot, 0x78);

  for (int i = 0; i < 4; ++i) line.Arrive(answer({0x01, 0x02}), 10 + 10 * i);
  EXPECT_FALSE(core.starter.ReadFlashChecksum(0, sum, x, rot));
  EXPECT_EQ(line.writes.size(), 5u);
}

}  // namespace
}  // namespace tavrino::test
