// SPDX-License-Identifier: GPL-2.0-or-later
// The line between the tool and the panel: speeds, framing, timing, and the in-process port.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SimTestSupport.h"
#include "support/Env.h"

namespace tavrino::sim::test {
namespace {

TEST(PanelLine, AFrameAtTheWrongSpeedGetsNoAnswer) {
  LineRig rig;
  rig.Reopen(38400);
  EXPECT_TRUE(rig.Exchange(kSync2).empty());
  EXPECT_TRUE(rig.panel.Transcript().back().dropped);
  EXPECT_EQ(rig.panel.RequestCount(), 0u);
  rig.Reopen(9600);
  EXPECT_EQ(rig.Exchange(kSync2), EncodeAnswer(0x92, {0}));
}

TEST(PanelLine, SpeedRequestSwitchesOnlyAfterItsAnswer) {
  struct Case {
    uint8_t answer;
    uint32_t after;
  };
  for (const Case c :
       {Case{0, 38400}, Case{1, 57600}, Case{2, 57600}, Case{3, 9600}, Case{7, 9600}}) {
    SCOPED_TRACE(int(c.answer));
    PanelConfig config;
    config.speedAnswer = c.answer;
    LineRig rig(config);
    EXPECT_EQ(rig.Exchange({0x14, 0x55, 0xAA, 0x41}), EncodeAnswer(0x92, {c.answer}));
    EXPECT_EQ(rig.panel.ListenBaud(), c.after);
    rig.Reopen(c.after);
    EXPECT_EQ(rig.Exchange(kSync2), EncodeAnswer(0x92, {0}));
  }
}

TEST(PanelLine, AnOlderStarterDoesNotKnowTheSpeedRequest) {
  PanelConfig config;
  config.firstHandshakeVariant = true;
  LineRig rig(config);
  EXPECT_EQ(rig.Exchange({0x14, 0x55, 0xAA, 0x41})[1], 0x94);
  EXPECT_EQ(rig.panel.ListenBaud(), 9600u);
}

TEST(PanelLine, FramingErrorsAreIgnoredAndAPreambleResynchronises) {
  LineRig rig;
  Bytes badSum = Request(kIdentify);
  badSum[badSum.size() - 2] ^= 0x01;
  EXPECT_TRUE(rig.Raw(badSum).empty());
  EXPECT_TRUE(rig.panel.Transcript().back().dropped);

  // An unstuffed FF inside a frame breaks it.
  EXPECT_TRUE(rig.Raw({0xFF, 0xFF, 0x04, 0x1B, 0xAA, 0xBB, 0xFF, 0xEE}).empty());
  // Half a frame, then a whole one: the preamble starts over.
  const Bytes sync = Request(kSync2);
  EXPECT_EQ(rig.Raw(Concat(Bytes(sync.begin(), sync.begin() + 6), sync)), EncodeAnswer(0x92, {0}));
  // Noise before the preamble is skipped; a stuffed last check byte is waited for.
  EXPECT_EQ(rig.Raw(Concat({0x00, 0x12, 0xFF, 0x34}, Request(kIdentify))),
            EncodeAnswer(0x92, {2, 0x31}));
  EXPECT_EQ(rig.panel.RequestCount(), 2u);
  EXPECT_EQ(rig.Exchange({0x99, 1, 2, 3}), EncodeAnswer(0x94, {0}));
}

TEST(PanelLine, PaceModeSendsAtTheLineRateAndTakesItsTime) {
  LineRig rig;
  rig.panel.Timing().pace = true;
  const uint32_t start = rig.time.now;
  // 13 request bytes and 5 answer bytes at 9600 bit/s: 18 x 1042 us.
  EXPECT_EQ(rig.Raw(Request(kSync2), 1000), EncodeAnswer(0x92, {0}));
  const auto& t = rig.panel.Transcript();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].startUs, start * 1000ull);
  EXPECT_EQ(t[0].endUs, start * 1000ull + 13 * 1042);
  EXPECT_EQ(t[1].startUs, t[0].endUs);
  EXPECT_EQ(t[1].endUs, t[1].startUs + 5 * 1042);

  // An erase answers after the sector's erase time.
  rig.panel.Timing().sectorEraseUs = 800000;
  const uint32_t sent = rig.time.now;
  rig.line.Write(Request(Erase(2)).data(), Request(Erase(2)).size());
  EXPECT_FALSE(rig.line.WaitReadable(700));
  EXPECT_TRUE(rig.line.WaitReadable(200));
  EXPECT_GE(rig.time.now - sent, 800u);
  EXPECT_LE(rig.time.now - sent, 820u);
}

TEST(PanelLine, WithoutHoldingThePanelTakesARequestAsItComes) {
  LineRig rig;
  rig.panel.Timing().pace = true;
  rig.panel.Timing().holdRequests = false;
  rig.time.now += 5;
  EXPECT_EQ(rig.Raw(Request(kSync2), 1000), EncodeAnswer(0x92, {0}));
  const auto& t = rig.panel.Transcript();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].startUs, 1005'000u);  // at once, and still at the line rate
  EXPECT_EQ(t[1].endUs, t[1].startUs + 5 * 1042);
}

TEST(PanelLine, BytesSentWhileThePanelIsBusyAreLost) {
  LineRig rig;
  rig.panel.FaultSettings().answerDelayMs = 500;
  const Bytes identify = Request(kIdentify);
  rig.line.Write(identify.data(), identify.size());
  rig.time.now += 200;
  rig.line.Write(identify.data(), identify.size());  // a retry too early
  rig.time.now += 400;
  EXPECT_EQ(rig.line.BytesWaiting(), 6u);  // one answer only
  EXPECT_EQ(rig.panel.RequestCount(), 1u);
  EXPECT_TRUE(rig.panel.Transcript().back().dropped);
}

TEST(InProcessLine, WaitReadableAdvancesTheClockToTheAnswerOrByTheWholeWait) {
  LineRig rig;
  rig.panel.FaultSettings().answerDelayMs = 250;
  const Bytes sync = Request(kSync2);
  rig.line.Write(sync.data(), sync.size());
  const uint32_t sent = rig.time.now;
  EXPECT_FALSE(rig.line.WaitReadable(100));
  EXPECT_EQ(rig.time.now, sent + 100);
  EXPECT_TRUE(rig.line.WaitReadable(3000));
  EXPECT_EQ(rig.time.now, sent + 250);
  EXPECT_TRUE(rig.line.WaitReadable(3000));  // bytes wait: no time passes
  EXPECT_EQ(rig.time.now, sent + 250);
  uint8_t buf[8];
  EXPECT_EQ(rig.line.Read(buf, sizeof buf), 5u);
  EXPECT_FALSE(rig.line.WaitReadable(40));
  EXPECT_EQ(rig.time.now, sent + 290);
}

TEST(InProcessLine, ClosingThePortDropsWhatItHadReceived) {
  LineRig rig;
  const Bytes sync = Request(kSync2);
  rig.line.Write(sync.data(), sync.size());
  rig.line.Close();
  EXPECT_FALSE(rig.line.IsOpen());
  EXPECT_EQ(rig.line.Write(sync.data(), sync.size()), SerialError::Failed);
  rig.Reopen(9600);
  EXPECT_EQ(rig.line.BytesWaiting(), 0u);
  EXPECT_EQ(rig.line.OpenCount(), 2u);
  EXPECT_EQ(rig.panel.RequestCount(), 1u);
}

TEST(InProcessLine, OnlyTheAvailableDevicesOpen) {
  ManualTime time;
  SimulatedPanel panel;
  InProcessLine line(panel, time);
  tavrino::test::UnsetEnv("TAVRINO_COM3");
  tavrino::test::SetEnv("TAVRINO_COM4", "/tmp/panel-link");
  line.SetAvailableDevices({"COM2", "COM4", "/dev/ttyUSB0"});
  using E = SerialBackend::OpenError;
  EXPECT_EQ(line.Open("/dev/ttyS0", 9600), E::NotFound);
  EXPECT_EQ(line.Open("/dev/ttyS1", 9600), E::None);
  EXPECT_EQ(line.Open("/dev/ttyS2", 9600), E::NotFound);
  EXPECT_EQ(line.Open("/dev/ttyS3", 9600), E::NotFound);  // COM4 is mapped elsewhere
  EXPECT_EQ(line.Open("/tmp/panel-link", 9600), E::None);
  EXPECT_EQ(line.Open("/dev/ttyUSB0", 57600), E::None);
  EXPECT_EQ(line.Baud(), 57600u);
  tavrino::test::UnsetEnv("TAVRINO_COM4");
}

}  // namespace
}  // namespace tavrino::sim::test
