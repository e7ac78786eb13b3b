// SPDX-License-Identifier: GPL-2.0-or-later
// The panel decodes the worked request frames and answers with the worked answer frames.
#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "sim/PanelWire.h"

namespace tavrino::sim::test {
namespace {

TEST(PanelWire, TestEncoderMatchesTheWorkedFrames) {
  EXPECT_EQ(Request(kRestart), (Bytes{0xFF, 0xFF, 0x01, 0x67, 0x68, 0x69, 0x6A, 0x35, 0x74}));
  EXPECT_EQ(Request(kSync1),
            (Bytes{0xFF, 0xFF, 0x04, 0x1B, 0xAA, 0xBB, 0xFF, 0x00, 0xEE, 0xDD, 0xCC, 0xA9, 0x72}));
}

TEST(PanelWire, DecodesTheWorkedRequestFrames) {
  struct Case {
    Bytes wire;
    Bytes payload;
  };
  const Case cases[] = {
      {{0xFF, 0xFF, 0x01, 0x67, 0x68, 0x69, 0x6A, 0x35, 0x74}, kRestart},
      {{0xFF, 0xFF, 0x04, 0x1B, 0xAA, 0xBB, 0xFF, 0x00, 0xEE, 0xDD, 0xCC, 0xA9, 0x72}, kSync1},
      {{0xFF, 0xFF, 0x04, 0x0D, 0xFF, 0x00, 0xEE, 0xAA, 0xBB, 0xCC, 0xDD, 0x9B, 0x64}, kSync2},
      {{0xFF, 0xFF, 0x02, 0x62, 0xF9, 0x1F, 0x01, 0x07, 0x15, 0xFA}, ReadFlash(0x71FF9, 1)},
  };
  for (const Case& c : cases) {
    RequestDecoder decoder;
    std::vector<RequestDecoder::Event> events;
    for (uint8_t b : c.wire) events.push_back(decoder.Feed(b));
    EXPECT_EQ(events.back(), RequestDecoder::Event::Frame);
    EXPECT_EQ(decoder.Payload(), c.payload);
    EXPECT_EQ(decoder.Raw(), c.wire);
  }
}

TEST(PanelWire, ProducesTheWorkedAnswers) {
  EXPECT_EQ(EncodeAnswer(0x91, {0x00}), (Bytes{0x01, 0x91, 0x00, 0x24, 0xE9}));
  EXPECT_EQ(EncodeAnswer(0x92, {0x02, 0x31}), (Bytes{0x02, 0x92, 0x02, 0x31, 0x58, 0xD9}));

  PanelConfig old;
  old.firstHandshakeVariant = true;
  LineRig first(old);
  EXPECT_EQ(first.Exchange(kSync1), (Bytes{0x01, 0x91, 0x00, 0x24, 0xE9}));

  PanelConfig board;
  board.board24MHz = true;
  LineRig second(board);
  EXPECT_EQ(second.Exchange(kSync2), (Bytes{0x01, 0x92, 0x02, 0x27, 0xE8}));
  second.panel.Config().flashType = 2;
  EXPECT_EQ(second.Exchange(kIdentify), (Bytes{0x02, 0x92, 0x02, 0x31, 0x58, 0xD9}));
}

}  // namespace
}  // namespace tavrino::sim::test
