// SPDX-License-Identifier: GPL-2.0-or-later
// Faults the panel can be told to show, each seen from the tool's side of the line.
#include <gtest/gtest.h>

#include <functional>

#include "SimTestSupport.h"

namespace tavrino::sim::test {
namespace {

// True when the bytes are one whole answer with matching check bytes.
bool ChecksGood(const Bytes& a) {
  if (a.size() < 4) return false;
  const size_t d = a[0] == 0 ? 256 : a[0];
  if (a.size() != d + 4) return false;
  return a[d + 2] == FrameSum(a.data() + 1, d + 1) && a[d + 3] == FrameXor(a.data() + 1, d + 1);
}

TEST(PanelFaults, EachFaultShowsOnTheLineAndThenWearsOff) {
  const Bytes readByte = ReadFlash(0x71FF9, 1);
  const Bytes good = EncodeAnswer(0x92, {1});
  struct Case {
    const char* name;
    std::function<void(Faults&)> set;
    std::function<void(const Bytes&)> first;  // the answer to the first read
    Bytes second;                             // the answer to a second read
  };
  const Case cases[] = {
      {"silent command",
       [](Faults& f) { f.silentCommands = {0x62}; },
       [](const Bytes& a) { EXPECT_TRUE(a.empty()); },
       {}},
      {"silent next", [](Faults& f) { f.silentNextFrames = 1; },
       [](const Bytes& a) { EXPECT_TRUE(a.empty()); }, good},
      {"silent after",
       [](Faults& f) { f.silentAfterFrames = 1; },
       [&](const Bytes& a) { EXPECT_EQ(a, good); },
       {}},
      {"refusal",
       [](Faults& f) {
         f.refuseCommands = {0x62};
         f.errorCode = 0x94;
       },
       [](const Bytes& a) { EXPECT_EQ(a, EncodeAnswer(0x94, {0})); }, EncodeAnswer(0x94, {0})},
      {"corrupted", [](Faults& f) { f.corruptNextAnswers = 1; },
       [](const Bytes& a) {
         EXPECT_EQ(a.size(), 5u);
         EXPECT_FALSE(ChecksGood(a));
       },
       good},
      {"wrong length", [](Faults& f) { f.wrongLengthNextAnswers = 1; },
       [](const Bytes& a) {
         EXPECT_EQ(a, EncodeAnswer(0x92, {1, 0}));
       },
       good},
      {"stray byte", [](Faults& f) { f.strayBytesAfterNextAnswers = 1; },
       [&](const Bytes& a) { EXPECT_EQ(a, Concat(good, {0x00})); }, good},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LineRig rig;
    c.set(rig.panel.FaultSettings());
    c.first(rig.Exchange(readByte));
    EXPECT_EQ(rig.Exchange(readByte), c.second);
    EXPECT_EQ(rig.Exchange(kIdentify).empty(), std::string(c.name) == "silent after");
  }
}

TEST(PanelFaults, ARequestThatGetsNoAnswerIsNotCarriedOut) {
  LineRig rig;
  rig.panel.FaultSettings().silentCommands = {0x66};
  rig.panel.Flash()[0x30000] = 0x12;
  EXPECT_TRUE(rig.Exchange(Erase(3)).empty());
  EXPECT_EQ(rig.panel.Flash()[0x30000], 0x12);
  EXPECT_EQ(rig.panel.CommandCount(0x66), 1u);
}

TEST(PanelFaults, ADelayedAnswerComesLate) {
  LineRig rig;
  rig.panel.FaultSettings().answerDelayMs = 2000;
  EXPECT_TRUE(rig.Exchange(kIdentify, 1999).empty());
  rig.time.now += 1;
  EXPECT_EQ(rig.line.BytesWaiting(), 6u);
}

TEST(PanelFaults, ADeadLineTakesNothingAndGivesNothing) {
  LineRig rig;
  rig.panel.FaultSettings().dieAfterFrames = 2;
  EXPECT_FALSE(rig.Exchange(kIdentify).empty());
  EXPECT_FALSE(rig.Exchange(kIdentify).empty());
  EXPECT_TRUE(rig.Exchange(kIdentify).empty());
  EXPECT_TRUE(rig.panel.LineDead());
  const Bytes sync = Request(kSync2);
  EXPECT_EQ(rig.line.Write(sync.data(), sync.size()), SerialError::LineGone);
  const uint32_t before = rig.time.now;
  EXPECT_FALSE(rig.line.WaitReadable(3000));  // sleeps the whole wait, never spins
  EXPECT_EQ(rig.time.now, before + 3000);
  EXPECT_FALSE(rig.line.Cts());
  EXPECT_EQ(rig.line.Open("/dev/ttyS0", 9600), SerialBackend::OpenError::NotFound);
}

// The cut a crash sweep makes at each exchange: the panel carries out the request, its
// answer is lost with the line, and after a power cycle the same line works again with the
// panel's contents as the cut left them.
TEST(PanelFaults, ACutLineKeepsTheLastRequestsWorkUntilThePowerCycle) {
  LineRig rig;
  rig.panel.FaultSettings().cutAfterFrame = 2;
  EXPECT_FALSE(rig.Exchange(kIdentify).empty());
  rig.panel.Flash()[0x30000] = 0x12;
  EXPECT_TRUE(rig.Exchange(Erase(3)).empty());
  EXPECT_EQ(rig.panel.Flash()[0x30000], 0xFF) << "carried out";
  EXPECT_TRUE(rig.panel.LineDead());
  EXPECT_TRUE(rig.Exchange(kIdentify).empty());

  rig.panel.PowerCycle(uint64_t{rig.time.now} * 1000);
  ASSERT_EQ(rig.line.Open("/dev/ttyS0", 9600), SerialError::None);
  EXPECT_EQ(rig.Exchange(kIdentify), EncodeAnswer(0x92, {2, 0x31}));
  EXPECT_EQ(rig.Exchange(Erase(4)), EncodeAnswer(0x91, {0})) << "no fault left";
  EXPECT_EQ(rig.panel.Flash()[0x30000], 0xFF);
}

}  // namespace
}  // namespace tavrino::sim::test
