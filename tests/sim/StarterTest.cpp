// SPDX-License-Identifier: GPL-2.0-or-later
// The Starter in sector 7, restarts into the program or the updater, and the updater
// installing a new Starter.
#include <gtest/gtest.h>

#include <cstring>

#include "SimTestSupport.h"

namespace tavrino::sim::test {
namespace {

// The Starter's checksum, written out here on its own so a slip in the panel shows.
uint32_t StarterSum(const std::vector<uint8_t>& flash) {
  uint32_t sum = 2000;
  for (uint32_t a = 0x70000; a < 0x80000; ++a) {
    if (a >= 0x71FFC && a <= 0x71FFF) continue;
    sum += (sum >> 9) & 7;
    sum += flash[a];
    sum = sum << 1 | sum >> 31;
  }
  return sum;
}

uint32_t StoredSum(const std::vector<uint8_t>& flash) {
  return flash[0x71FFC] | flash[0x71FFD] << 8 | flash[0x71FFE] << 16 |
         uint32_t(flash[0x71FFF]) << 24;
}

TEST(PanelStarter, GeneratedStarterCarriesVersionLanguageAndAGoodChecksum) {
  SimulatedPanel panel;
  panel.InstallStarter(0x25, 0);
  auto& flash = panel.Flash();
  EXPECT_EQ(flash[0x71FF9], 0);
  EXPECT_EQ(flash[0x71FFA], '2');
  EXPECT_EQ(flash[0x71FFB], '5');
  EXPECT_EQ(StarterSum(flash), StoredSum(flash));
  EXPECT_TRUE(panel.StarterChecksumGood());
  size_t erased = 0;
  for (uint32_t a = 0x70000; a < 0x72000; ++a) erased += flash[a] == 0xFF;
  EXPECT_LT(erased, 0x1000u);  // mostly code, not an empty area

  for (uint32_t at : {0x70000u, 0x71234u, 0x71FFBu, 0x71FFEu, 0x7FFFFu}) {
    SimulatedPanel changed;
    changed.Flash()[at] ^= 0x01;
    EXPECT_FALSE(changed.StarterChecksumGood()) << std::hex << at;
  }
}

TEST(PanelStarter, IdentifyReportsChipAndStarterVersion) {
  PanelConfig config;
  config.flashType = 5;
  config.starterVersion = 0x25;
  LineRig rig(config);
  EXPECT_EQ(rig.Exchange(kIdentify), EncodeAnswer(0x92, {5, 0x25}));
  EXPECT_EQ(rig.panel.Flash()[0x71FFB], '5');
}

TEST(PanelStarter, OnlyTheMatchingHandshakeVariantIsAnswered) {
  PanelConfig old;
  old.firstHandshakeVariant = true;
  LineRig first(old);
  EXPECT_TRUE(first.Exchange(kSync2).empty());
  EXPECT_EQ(first.Exchange(kSync1), EncodeAnswer(0x91, {0}));

  PanelConfig flags;
  flags.board24MHz = true;
  flags.badFlashVersion = true;
  LineRig second(flags);
  EXPECT_TRUE(second.Exchange(kSync1).empty());
  EXPECT_EQ(second.Exchange(kSync2), EncodeAnswer(0x92, {0x06}));
}

TEST(PanelStarter, RestartRunsTheProgramWhichHearsOnlyASync) {
  PanelConfig config;
  config.ctsDelayMs = 1500;
  LineRig rig(config);
  rig.panel.SynthesizeProgram("1.04.01", 1);
  EXPECT_FALSE(rig.line.Cts());
  EXPECT_EQ(rig.Exchange(kRestart), EncodeAnswer(0x91, {0}));
  EXPECT_EQ(rig.panel.CurrentMode(), SimulatedPanel::Mode::Program);
  EXPECT_EQ(rig.panel.RestartCount(), 1u);

  EXPECT_TRUE(rig.Exchange(kIdentify).empty());
  EXPECT_TRUE(rig.Exchange(ReadFlash(0, 1)).empty());
  EXPECT_FALSE(rig.line.Cts());
  rig.time.now += 1500;
  EXPECT_TRUE(rig.line.Cts());

  EXPECT_EQ(rig.Exchange(kSync2), EncodeAnswer(0x92, {0}));
  EXPECT_EQ(rig.panel.CurrentMode(), SimulatedPanel::Mode::Starter);
  EXPECT_FALSE(rig.line.Cts());
  EXPECT_EQ(rig.Exchange(kIdentify), EncodeAnswer(0x92, {2, 0x31}));
}

TEST(PanelStarter, WithoutAProgramTheStarterStaysAfterARestart) {
  LineRig rig;
  EXPECT_EQ(rig.Exchange(kRestart), EncodeAnswer(0x91, {0}));
  EXPECT_EQ(rig.panel.CurrentMode(), SimulatedPanel::Mode::Starter);
  EXPECT_EQ(rig.Exchange(kIdentify), EncodeAnswer(0x92, {2, 0x31}));
}

// An updater image as the tool carries one: vectors, the banner at offset 52, code, 0xFF.
Bytes UpdaterImage() {
  Bytes image(8448, 0xFF);
  for (size_t i = 0; i < 6900; ++i) image[i] = static_cast<uint8_t>(i * 37 + 11);
  const char banner[] = "\r\n\r\nTavrino Starter updater 3.1 for QZ-17, Am29F040, 2004\r\n";
  std::memcpy(image.data() + 52, banner, sizeof banner - 1);
  return image;
}

void WriteImage(LineRig& rig, const Bytes& image) {
  for (uint32_t block = 0; block < 33; ++block) {
    const Bytes page(image.begin() + block * 256, image.begin() + block * 256 + 256);
    ASSERT_EQ(rig.Exchange(WritePage(block * 256, page))[1], 0x92);
  }
}

TEST(PanelStarter, UpdaterInstallsStarter31English) {
  for (bool only9600 : {false, true}) {
    SCOPED_TRACE(only9600);
    PanelConfig config;
    config.starterVersion = 0x25;
    config.starterLanguage = 0;
    config.firstHandshakeVariant = true;
    config.updaterOnly9600 = only9600;
    LineRig rig(config);
    rig.panel.SynthesizeProgram("1.03.05", 0);
    ASSERT_EQ(rig.Exchange(Erase(0)), EncodeAnswer(0x91, {0}));
    WriteImage(rig, UpdaterImage());
    ASSERT_EQ(rig.Exchange(kRestart), EncodeAnswer(0x91, {0}));
    EXPECT_EQ(rig.panel.CurrentMode(), SimulatedPanel::Mode::Updater);
    EXPECT_TRUE(rig.Exchange(kSync1).empty());

    rig.Reopen(only9600 ? 19200 : 9600);  // the wrong one of the two speeds first
    EXPECT_TRUE(rig.Exchange(kUpdaterHandshake).empty());
    rig.Reopen(only9600 ? 9600 : 19200);
    EXPECT_EQ(rig.Exchange(kUpdaterHandshake), EncodeAnswer(0x91, {0}));

    // The new Starter: newer handshake, 9600 bit/s, 3.1 English with a good checksum.
    rig.Reopen(9600);
    EXPECT_TRUE(rig.Exchange(kSync1).empty());
    EXPECT_EQ(rig.Exchange(kSync2), EncodeAnswer(0x92, {0}));
    EXPECT_EQ(rig.Exchange(kIdentify), EncodeAnswer(0x92, {2, 0x31}));
    EXPECT_EQ(rig.Exchange(ReadFlash(0x71FF9, 1)), EncodeAnswer(0x92, {1}));
    EXPECT_EQ(rig.panel.Flash()[0x71FFA], '3');
    EXPECT_EQ(rig.panel.Flash()[0x71FFB], '1');
    EXPECT_EQ(StarterSum(rig.panel.Flash()), StoredSum(rig.panel.Flash()));
  }
}

TEST(PanelStarter, AnUpdaterWrittenOverUnerasedNorFlashNeverRuns) {
  LineRig rig;  // type 2 needs an erase first
  rig.panel.SynthesizeProgram("1.03.05", 0);
  for (uint32_t block = 0; block < 33; ++block) {
    const Bytes image = UpdaterImage();
    rig.Exchange(WritePage(block * 256,
                           Bytes(image.begin() + block * 256, image.begin() + block * 256 + 256)));
  }
  ASSERT_EQ(rig.Exchange(kRestart), EncodeAnswer(0x91, {0}));
  EXPECT_EQ(rig.panel.CurrentMode(), SimulatedPanel::Mode::Program);
  EXPECT_EQ(rig.panel.Config().starterVersion, 0x31);
}

}  // namespace
}  // namespace tavrino::sim::test
