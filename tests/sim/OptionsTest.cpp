// SPDX-License-Identifier: GPL-2.0-or-later
// The command line of tavrino-panel.
#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "sim/PanelOptions.h"

namespace tavrino::sim::test {
namespace {

using Args = std::vector<std::string>;

TEST(PanelOptions, ValuesReachThePanel) {
  PanelOptions o;
  std::string error;
  ASSERT_TRUE(ParsePanelOptions({"--link",
                                 "/tmp/l",
                                 "--flash-type",
                                 "4",
                                 "--starter",
                                 "2.5:0",
                                 "--board",
                                 "24",
                                 "--first-variant",
                                 "--listen-baud",
                                 "57600",
                                 "--speed-answer",
                                 "0",
                                 "--program-version",
                                 "1.03.05:0",
                                 "--signature",
                                 "--cts-delay",
                                 "300",
                                 "--silent-cmd",
                                 "0x62",
                                 "--silent-cmd",
                                 "100",
                                 "--refuse",
                                 "0x65",
                                 "--error-code",
                                 "0x94",
                                 "--die-after",
                                 "12",
                                 "--delay",
                                 "40",
                                 "--late",
                                 "3",
                                 "--late-by",
                                 "70",
                                 "--pace",
                                 "--erase-ms",
                                 "900"},
                                o, error))
      << error;
  SimulatedPanel panel;
  ASSERT_TRUE(BuildPanel(o, panel, error)) << error;
  EXPECT_EQ(panel.Config().flashType, 4);
  EXPECT_EQ(panel.Config().starterVersion, 0x25);
  EXPECT_EQ(panel.Flash()[0x71FF9], 0);
  EXPECT_TRUE(panel.Config().board24MHz);
  EXPECT_TRUE(panel.Config().firstHandshakeVariant);
  EXPECT_EQ(panel.ListenBaud(), 57600u);
  EXPECT_EQ(std::string(panel.Flash().begin() + 0x12006, panel.Flash().begin() + 0x1200B), "10305");
  EXPECT_EQ(panel.FaultSettings().silentCommands, (std::set<uint8_t>{0x62, 100}));
  EXPECT_EQ(panel.FaultSettings().refuseCommands, (std::set<uint8_t>{0x65}));
  EXPECT_EQ(panel.FaultSettings().errorCode, 0x94);
  EXPECT_EQ(panel.FaultSettings().dieAfterFrames, 12u);
  EXPECT_EQ(panel.FaultSettings().lateNextAnswers, 3u);
  EXPECT_EQ(panel.FaultSettings().lateByMs, 70u);
  EXPECT_TRUE(panel.Timing().pace);
  EXPECT_EQ(panel.Timing().sectorEraseUs, 900000u);
  // A 103 program gets 103 settings unless told otherwise.
  EXPECT_EQ(std::string(panel.Memory1().begin() + 0x1C0, panel.Memory1().begin() + 0x1CC),
            "Zone (MP) 01");
}

TEST(PanelOptions, BadCommandLinesAreRefusedWithAMessage) {
  const Args cases[] = {
      {},
      {"--flash-type", "2"},
      {"--link"},
      {"--link", "/tmp/l", "--bogus"},
      {"--link", "/tmp/l", "--flash-type", "256"},
      {"--link", "/tmp/l", "--flash-type", "two"},
      {"--link", "/tmp/l", "--starter", "3"},
      {"--link", "/tmp/l", "--starter", "3.1:x"},
      {"--link", "/tmp/l", "--board", "16"},
      {"--link", "/tmp/l", "--listen-baud", "4800"},
      {"--link", "/tmp/l", "--program-version", "1.3.5"},
      {"--link", "/tmp/l", "--settings", "105"},
      {"--link", "/tmp/l", "--silent-cmd", "0x100"},
      {"--link", "/tmp/l", "--delay", "-5"},
      {"--link", "/tmp/l", "--error-code", "0x92"},
  };
  for (const Args& args : cases) {
    PanelOptions o;
    std::string error;
    EXPECT_FALSE(ParsePanelOptions(args, o, error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

TEST(PanelOptions, AProgramImageOfTheWrongSizeIsAClearError) {
  PanelOptions o;
  std::string error;
  ASSERT_TRUE(ParsePanelOptions({"--link", "/tmp/l", "--program", "/nonexistent/p.bin"}, o, error));
  SimulatedPanel panel;
  EXPECT_FALSE(BuildPanel(o, panel, error));
  EXPECT_NE(error.find("/nonexistent/p.bin"), std::string::npos);
}

}  // namespace
}  // namespace tavrino::sim::test
