// SPDX-License-Identifier: GPL-2.0-or-later
// The handshake with the Starter: the walk through the link modes, the board flags, the
// faster link, and the restart built on it.
#include <gtest/gtest.h>

#include "link/StarterRig.h"

namespace tavrino::test {
namespace {

TEST(ConnectStarter, SilentPanelWalksTheLinkModesThroughSpeedsAndBothVariants) {
  StarterRig rig;
  rig.faults().silentCommands = {kSyncFirst, kSyncSecond};
  struct Step {
    uint16_t modeAfter;
    uint8_t syncSent;
    uint32_t sentAt;
  };
  const Step steps[] = {{1, kSyncFirst, 9600},  {2, kSyncFirst, 38400},  {3, kSyncFirst, 57600},
                        {4, kSyncSecond, 9600}, {5, kSyncSecond, 38400}, {1, kSyncSecond, 57600}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.modeAfter);
    rig.trace.sent.clear();
    const uint32_t before = rig.clock.NowMs();
    EXPECT_EQ(rig.starter().ConnectStarter(false), Handshake::NoConnection);
    EXPECT_EQ(rig.core.ports.LinkMode, s.modeAfter);
    EXPECT_EQ(rig.line.Baud(), PortChoice::Speed(s.modeAfter)) << "port reopened at once";
    ASSERT_EQ(rig.trace.sent.size(), 1u);
    EXPECT_EQ(rig.trace.sent[0], (SpeedTrace::Sent{s.syncSent, s.sentAt}));
    EXPECT_GE(rig.clock.NowMs() - before, 3000u);
  }
}

// A port that cannot take the next speed (the line went dead under it) ends the handshake
// as lost, instead of letting the next attempts time out on a port that is not there; the
// restart gives up on it at once too.
TEST(ConnectStarter, APortThatCannotChangeSpeedIsLost) {
  StarterRig rig;
  rig.faults().silentCommands = {kSyncFirst};
  rig.faults().dieAfterFrames = 0;
  EXPECT_EQ(rig.starter().ConnectStarter(false), Handshake::PortLost);
  EXPECT_EQ(rig.core.port.LastOpenError(), SerialError::LineGone);
  EXPECT_FALSE(rig.core.port.IsOpen());
  const uint32_t before = rig.clock.NowMs();
  EXPECT_FALSE(rig.starter().RestartPanel());
  EXPECT_LT(rig.clock.NowMs() - before, 3000u * 9) << "not nine silent handshakes";
}

TEST(ConnectStarter, SyncFramesCarryTheirPatternsAndTheFirstVariantOnlyAcknowledges) {
  sim::PanelConfig old;
  old.firstHandshakeVariant = true;
  StarterRig rig(old);
  rig.starter().PanelHalf = ProgramHalf::Second;  // left from an earlier panel
  EXPECT_EQ(rig.starter().ConnectStarter(false), Handshake::Connected);
  EXPECT_EQ(rig.starter().PanelHalf, ProgramHalf::First);
  EXPECT_EQ(rig.core.ports.LinkMode, 0);

  StarterRig second({}, 3);
  EXPECT_EQ(second.starter().ConnectStarter(false), Handshake::Connected);
  ASSERT_EQ(rig.Requests().size(), 1u);
  ASSERT_EQ(second.Requests().size(), 1u);
  EXPECT_EQ(rig.Requests()[0], (Bytes{0x1B, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
  EXPECT_EQ(second.Requests()[0], (Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}));
}

struct FlagCase {
  const char* name;
  bool board24MHz;
  bool badFlash;
  bool fileHasTwoHalves;
  bool anyFile;
  Handshake result;
  uint16_t modeAfter;
  bool secondHalf;
};

class ConnectFlags : public testing::TestWithParam<FlagCase> {};

TEST_P(ConnectFlags, BoardFlagsDecideTheResult) {
  const FlagCase c = GetParam();
  sim::PanelConfig config;
  config.board24MHz = c.board24MHz;
  config.badFlashVersion = c.badFlash;
  StarterRig rig(config, 3);
  // Either board may connect when the file has both halves or no file is written.
  EXPECT_EQ(rig.starter().ConnectStarter(c.fileHasTwoHalves || c.anyFile), c.result);
  EXPECT_EQ(rig.core.ports.LinkMode, c.modeAfter);
  EXPECT_EQ(rig.starter().PanelHalf == ProgramHalf::Second, c.secondHalf);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConnectFlags,
                         testing::Values(FlagCase{"Board12MHz", false, false, false, false,
                                                  Handshake::Connected, 3, false},
                                         FlagCase{"BadFlashKeepsTheMode", false, true, false, false,
                                                  Handshake::WrongAnswer, 3, false},
                                         FlagCase{"Board24MHzOneHalfFile", true, false, false,
                                                  false, Handshake::NoConnection, 4, true},
                                         FlagCase{"Board24MHzAnyFile", true, false, false, true,
                                                  Handshake::Connected, 3, true},
                                         FlagCase{"Board24MHzTwoHalves", true, false, true, false,
                                                  Handshake::Connected, 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct SpeedCase {
  uint8_t answer;
  Handshake result;
  uint16_t modeAfter;
};

class SpeedRequest : public testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedRequest, TheStarterAnswerChoosesTheSpeedAndBothSidesUseIt) {
  const SpeedCase c = GetParam();
  sim::PanelConfig config;
  config.speedAnswer = c.answer;
  StarterRig rig(config, 3, /*tryFastSpeeds=*/true);
  EXPECT_EQ(rig.starter().ConnectStarter(false), c.result);
  EXPECT_EQ(rig.core.ports.LinkMode, c.modeAfter);
  EXPECT_EQ(rig.line.Baud(), PortChoice::Speed(c.modeAfter));
  EXPECT_EQ(rig.RequestsWithCode(kSpeedRequest), (std::vector<Bytes>{{0x14, 0x55, 0xAA, 0x41}}));
  if (c.result == Handshake::Connected) {
    EXPECT_TRUE(rig.starter().IdentifyStarter()) << "the panel answers at the new speed";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SpeedRequest,
    testing::Values(SpeedCase{0, Handshake::Connected, 4}, SpeedCase{1, Handshake::Connected, 5},
                    SpeedCase{2, Handshake::Connected, 5}, SpeedCase{3, Handshake::NoConnection, 3},
                    SpeedCase{4, Handshake::Connected, 3}),
    [](const auto& info) { return "Answer" + std::to_string(info.param.answer); });

TEST(SpeedRequest, NotAskedWithoutFastRSOrOutsideMode3) {
  StarterRig slow({}, 3, /*tryFastSpeeds=*/false);
  EXPECT_EQ(slow.starter().ConnectStarter(false), Handshake::Connected);
  EXPECT_EQ(slow.panel.CommandCount(kSpeedRequest), 0u);
  EXPECT_EQ(slow.core.ports.LinkMode, 3);

  sim::PanelConfig fast;
  fast.listenBaud = 38400;
  StarterRig already(fast, 4, /*tryFastSpeeds=*/true);
  EXPECT_EQ(already.starter().ConnectStarter(false), Handshake::Connected);
  EXPECT_EQ(already.panel.CommandCount(kSpeedRequest), 0u);
}

TEST(RestartPanel, TrueOnceTheHandshakeSucceededEvenWithoutTheRestartAcknowledgement) {
  StarterRig acked({}, 3);
  EXPECT_TRUE(acked.starter().RestartPanel());
  EXPECT_EQ(acked.RequestsWithCode(kRestart), (std::vector<Bytes>{{0x67, 0x68, 0x69, 0x6A}}));

  StarterRig unacked({}, 3);
  unacked.faults().silentCommands = {kRestart};
  EXPECT_TRUE(unacked.starter().RestartPanel());
  EXPECT_EQ(unacked.trace.SpeedsOf(kRestart).size(), 3u) << "three restart requests at most";
}

TEST(RestartPanel, FalseAfterNineHandshakesWithoutSendingTheRestart) {
  StarterRig rig({}, 3);
  rig.faults().silentCommands = {kSyncFirst, kSyncSecond};
  EXPECT_FALSE(rig.starter().RestartPanel());
  EXPECT_EQ(rig.trace.SpeedsOf(kSyncFirst).size() + rig.trace.SpeedsOf(kSyncSecond).size(), 9u);
  EXPECT_TRUE(rig.trace.SpeedsOf(kRestart).empty());
}

TEST(RestartPanel, ServesAOneHalfFileOnA24MHzBoard) {
  sim::PanelConfig config;
  config.board24MHz = true;
  StarterRig rig(config, 3);
  EXPECT_TRUE(rig.starter().RestartPanel());
  EXPECT_EQ(rig.panel.RestartCount(), 1u);
}

TEST(RestartPanel, StopEndsTheHandshakesAtOnce) {
  StarterRig rig({}, 3);
  rig.faults().silentCommands = {kSyncFirst, kSyncSecond};
  rig.ui.onPump = [&] { rig.core.host.RequestStop(); };
  EXPECT_FALSE(rig.starter().RestartPanel());
  EXPECT_EQ(rig.trace.sent.size(), 1u);
}

}  // namespace
}  // namespace tavrino::test
