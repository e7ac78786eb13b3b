// SPDX-License-Identifier: GPL-2.0-or-later
// The flash chips as the Starter drives them: page writes, erasing, the protected Starter
// sector, reads and block check values.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

namespace tavrino::sim::test {
namespace {

TEST(PanelFlash, NorChipsOnlyClearBitsWhilePageChipsRewriteThePage) {
  struct Case {
    uint8_t flashType;
    bool rewritesPage;
  };
  const Case cases[] = {{1, true},  {4, true},  {2, false}, {3, false},
                        {5, false}, {6, false}, {9, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.flashType));
    PanelConfig config;
    config.flashType = c.flashType;
    LineRig rig(config);
    ASSERT_EQ(rig.Exchange(Erase(1)), EncodeAnswer(0x91, {0}));
    ASSERT_EQ(rig.Exchange(WritePage(0x10100, Bytes(256, 0x0F))), EncodeAnswer(0x92, {0}));
    // 0x0F -> 0xF0 needs bits to go from 0 to 1.
    const Bytes second = rig.Exchange(WritePage(0x10100, Bytes(256, 0xF0)));
    const uint8_t* page = rig.panel.Flash().data() + 0x10100;
    if (c.rewritesPage) {
      EXPECT_EQ(second, EncodeAnswer(0x92, {0}));
      EXPECT_EQ(Bytes(page, page + 256), Bytes(256, 0xF0));
    } else {
      EXPECT_EQ(second[1], 0x93);
      EXPECT_EQ(Bytes(page, page + 256), Bytes(256, 0x00));
      ASSERT_EQ(rig.Exchange(Erase(1)), EncodeAnswer(0x91, {0}));
      EXPECT_EQ(rig.Exchange(WritePage(0x10100, Bytes(256, 0xF0))), EncodeAnswer(0x92, {0}));
      EXPECT_EQ(Bytes(page, page + 256), Bytes(256, 0xF0));
    }
    EXPECT_EQ(rig.panel.Flash()[0x100FF], 0xFF);  // the neighbours are untouched
    EXPECT_EQ(rig.panel.Flash()[0x10200], 0xFF);
  }
}

TEST(PanelFlash, TheStarterSectorAndAddressesBeyondTheFlashAreRefused) {
  LineRig rig;
  const Bytes starter(rig.panel.Flash().begin() + 0x70000, rig.panel.Flash().end());
  for (const Bytes& request :
       {Erase(7), Erase(8), WritePage(0x71F00, Bytes(256, 0)), WritePage(0x80000, Bytes(256, 0)),
        ReadFlash(0x7FFFF, 0), ReadFlash(0x00000, 2), Checksum(0x7FF00)}) {
    const Bytes answer = rig.Exchange(request);
    ASSERT_EQ(answer.size(), 5u);
    EXPECT_EQ(answer[1], 0x93) << HexBytes(request);
  }
  EXPECT_EQ(Bytes(rig.panel.Flash().begin() + 0x70000, rig.panel.Flash().end()), starter);
  EXPECT_TRUE(rig.panel.StarterChecksumGood());
}

TEST(PanelFlash, ReadsAndWritesLandOnWholePages) {
  LineRig rig;
  Bytes data(256);
  for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(rig.Exchange(Erase(1)), EncodeAnswer(0x91, {0}));
  ASSERT_EQ(rig.Exchange(WritePage(0x12000, data)), EncodeAnswer(0x92, {0}));
  EXPECT_EQ(AnswerData(rig.Exchange(ReadFlash(0x12000, 0)), 0x92), data);
  EXPECT_EQ(rig.Exchange(ReadFlash(0x12006, 1)), EncodeAnswer(0x92, {0x06}));
  // A read of one byte answers with one data byte: length byte 1.
  EXPECT_EQ(rig.Exchange(ReadFlash(0x71FF9, 1))[0], 0x01);
}

TEST(PanelFlash, ChecksumCoversTheRequested512Bytes) {
  LineRig rig;
  // Erased flash: 512 bytes of 0xFF. Sum 0xB094 + 512 * 0xFF = 0xAE94 (mod 2^16); an even
  // number of 0xFF leaves the xor at its seed.
  uint8_t rot = 0x3E;
  for (int i = 0; i < 512; ++i) {
    const uint8_t t = static_cast<uint8_t>(rot + 0xFF);
    rot = static_cast<uint8_t>((t & 0x0F) << 4 | t >> 4);
  }
  EXPECT_EQ(AnswerData(rig.Exchange(Checksum(0x20000)), 0x92), (Bytes{0x94, 0xAE, 0x7A, rot}));
  // One byte just past the block does not count; one inside does.
  rig.panel.Flash()[0x20200] = 0x00;
  EXPECT_EQ(AnswerData(rig.Exchange(Checksum(0x20000)), 0x92), (Bytes{0x94, 0xAE, 0x7A, rot}));
  rig.panel.Flash()[0x201FF] = 0xFE;
  EXPECT_EQ(AnswerData(rig.Exchange(Checksum(0x20000)), 0x92)[0], 0x93);
}

}  // namespace
}  // namespace tavrino::sim::test
