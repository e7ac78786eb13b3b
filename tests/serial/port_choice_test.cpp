// SPDX-License-Identifier: GPL-2.0-or-later
// Choosing the port once, the link speeds and the status bar text.
#include <gtest/gtest.h>

#include <cstdlib>

#include "serial/InMemoryLine.h"
#include "serial/PortChoice.h"
#include "support/Env.h"
#include "support/ScriptedFrontEnd.h"

namespace tavrino {
namespace {

using OpenError = SerialBackend::OpenError;

// The port choice's view played by the scripted front end (the text is its port and
// speed, as the run layer shows it). Also records the state the Fast RS box is shown in,
// and can play a dialog that confirms whatever port it was told to.
struct DialogFrontEnd : test::ScriptedFrontEnd, PortChoiceView {
  void ShowPortSpeed(const std::string& text) override { ScriptedFrontEnd::ShowPortSpeed(text); }
  std::vector<bool> fastRSShown;
  bool confirmAnyPort = false;
  bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                        bool& tryFastSpeeds) override {
    fastRSShown.push_back(tryFastSpeeds);
    if (confirmAnyPort) {
      portDialogs.push_back(available);
      port = dialogPort;
      return true;
    }
    return ScriptedFrontEnd::ChoosePortDialog(available, port, tryFastSpeeds);
  }
};

struct ChoiceRig {
  ChoiceRig() {
    for (int n = 1; n <= 4; ++n) test::UnsetEnv("TAVRINO_COM" + std::to_string(n));
  }
  FakeClock clock{0};
  test::InMemoryLine line{clock};
  SerialPort port{line};
  DialogFrontEnd ui;
  PortChoice choice{port, ui};
};

TEST(PortChoice, DialogOffersOnlyPortsThatOpenAndIsShownOnceAPortIsChosen) {
  ChoiceRig rig;
  rig.line.refused = {{"/dev/ttyS0", OpenError::NotFound},
                      {"/dev/ttyS2", OpenError::Busy},
                      {"/dev/ttyS3", OpenError::NoAccess}};
  rig.ui.dialogPort = 2;
  rig.ui.dialogFastRS = false;
  ASSERT_TRUE(rig.choice.ChoosePort());
  ASSERT_EQ(rig.ui.portDialogs.size(), 1u);
  EXPECT_EQ(rig.ui.portDialogs[0], (std::array<bool, 4>{false, true, false, false}));
  EXPECT_EQ(rig.ui.fastRSShown, std::vector<bool>{true});
  EXPECT_EQ(rig.choice.PortNumber, 2);
  EXPECT_FALSE(rig.choice.TryFastSpeeds);
  EXPECT_TRUE(rig.port.IsOpen());
  EXPECT_EQ(rig.line.device, "/dev/ttyS1");
  EXPECT_EQ(rig.line.baud, 9600u);
  EXPECT_EQ(rig.ui.portSpeed, " COM2 9600 bps");

  // The next command uses the remembered port without asking.
  rig.port.ClosePort();
  rig.choice.LinkMode = 2;
  ASSERT_TRUE(rig.choice.ChoosePort());
  EXPECT_EQ(rig.ui.portDialogs.size(), 1u);
  EXPECT_EQ(rig.line.baud, 57600u);
  EXPECT_FALSE(rig.choice.TryFastSpeeds);

  // Once the port is forgotten (a stopped command), the dialog comes back with the box on.
  rig.choice.PortNumber = 0;
  ASSERT_TRUE(rig.choice.ChoosePort());
  EXPECT_EQ(rig.ui.portDialogs.size(), 2u);
  EXPECT_EQ(rig.ui.fastRSShown, (std::vector<bool>{true, true}));
}

TEST(PortChoice, CancelledOrUnusableChoiceOpensNothing) {
  struct Case {
    uint16_t answer;
    bool confirmAnyPort;
  };
  for (auto [answer, confirmAnyPort] :
       {Case{0, false}, Case{1, true}, Case{0, true}, Case{5, true}}) {
    ChoiceRig rig;
    rig.line.refused["/dev/ttyS0"] = OpenError::NotFound;
    rig.ui.dialogPort = answer;
    rig.ui.confirmAnyPort = confirmAnyPort;
    EXPECT_FALSE(rig.choice.ChoosePort()) << answer;
    EXPECT_EQ(rig.choice.PortNumber, 0) << answer;
    EXPECT_FALSE(rig.port.IsOpen()) << answer;
    EXPECT_EQ(rig.ui.portSpeed, "") << answer;
  }
}

TEST(PortChoice, APortGivenAnotherDeviceInTheDialogIsTriedAgainAndWhyEachFailedIsKept) {
  ChoiceRig rig;
  rig.line.refused = {{"/dev/ttyS0", OpenError::NotFound},
                      {"/dev/ttyS1", OpenError::Busy},
                      {"/dev/ttyS2", OpenError::NoAccess}};
  // The person takes the offered adapter for COM1 and confirms it.
  struct Offering : DialogFrontEnd {
    SerialPort* port = nullptr;
    bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& chosen,
                          bool& tryFastSpeeds) override {
      port->MapPort(1, "/dev/ttyUSB0");
      chosen = 1;
      return DialogFrontEnd::ChoosePortDialog(available, chosen, tryFastSpeeds);
    }
  } ui;
  ui.port = &rig.port;
  ui.confirmAnyPort = true;
  ui.dialogPort = 1;
  PortChoice choice{rig.port, ui};
  ASSERT_TRUE(choice.ChoosePort());
  EXPECT_EQ(choice.LastProbe, (std::array<OpenError, 4>{OpenError::NotFound, OpenError::Busy,
                                                        OpenError::NoAccess, OpenError::None}));
  EXPECT_EQ(rig.line.device, "/dev/ttyUSB0");
  EXPECT_EQ(rig.port.DeviceOf(1), "/dev/ttyUSB0");
  EXPECT_TRUE(rig.port.IsMapped(1));
  EXPECT_FALSE(rig.port.IsMapped(2));
  EXPECT_EQ(rig.port.DeviceOf(2), "/dev/ttyS1");
}

TEST(PortChoice, RememberedPortThatFailsStillShowsPortAndSpeed) {
  ChoiceRig rig;
  rig.choice.PortNumber = 3;
  rig.choice.LinkMode = 6;
  rig.line.refused["/dev/ttyS2"] = OpenError::Busy;
  EXPECT_FALSE(rig.choice.ChoosePort());
  EXPECT_TRUE(rig.ui.portDialogs.empty());
  EXPECT_EQ(rig.ui.portSpeed, " COM3 19200 bps");
  EXPECT_EQ(rig.choice.PortNumber, 3);
}

TEST(PortChoice, LinkModesSelectSpeedAndStatusText) {
  struct Case {
    uint16_t mode, divisor;
    uint32_t speed;
    const char* text;
  };
  const Case cases[] = {
      {0, 12, 9600, " COM3 9600 bps"},  {1, 3, 38400, " COM3 38400 bps"},
      {2, 2, 57600, " COM3 57600 bps"}, {3, 12, 9600, " COM3 9600 bps"},
      {4, 3, 38400, " COM3 38400 bps"}, {5, 2, 57600, " COM3 57600 bps"},
      {6, 6, 19200, " COM3 19200 bps"},
  };
  for (const auto& c : cases) {
    ChoiceRig rig;
    rig.choice.PortNumber = 3;
    rig.choice.LinkMode = c.mode;
    EXPECT_EQ(PortChoice::Divisor(c.mode), c.divisor) << c.mode;
    EXPECT_EQ(PortChoice::StatusText(3, c.mode), c.text) << c.mode;
    ASSERT_TRUE(rig.choice.ApplyLinkSpeed()) << c.mode;
    EXPECT_EQ(rig.line.baud, c.speed) << c.mode;
    EXPECT_EQ(rig.ui.portSpeed, c.text) << c.mode;
  }
}

TEST(PortChoice, NextLinkModeCyclesOneToFive) {
  const std::pair<uint16_t, uint16_t> steps[] = {{0, 1}, {1, 2}, {2, 3}, {3, 4},
                                                 {4, 5}, {5, 1}, {6, 1}};
  for (auto [from, to] : steps) {
    ChoiceRig rig;
    rig.choice.PortNumber = 1;
    rig.choice.LinkMode = from;
    EXPECT_TRUE(rig.choice.NextLinkMode()) << from;
    EXPECT_EQ(rig.choice.LinkMode, to) << from;
    EXPECT_EQ(rig.line.baud, PortChoice::Speed(to)) << from;
  }
}

}  // namespace
}  // namespace tavrino
