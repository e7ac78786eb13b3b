// SPDX-License-Identifier: GPL-2.0-or-later
// The answer decoder on bytes alone: no line, no clock.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "link/AnswerDecoder.h"

namespace tavrino {
namespace {

using Bytes = std::vector<uint8_t>;
using State = AnswerDecoder::State;

struct Fed {
  std::array<uint8_t, kAnswerFrameSize> frame{};
  std::vector<State> states;  // after each byte
};

Fed FeedAll(const Bytes& bytes) {
  Fed fed;
  AnswerDecoder decoder(fed.frame);
  for (uint8_t b : bytes) fed.states.push_back(decoder.Feed(b));
  EXPECT_EQ(decoder.state(), fed.states.empty() ? State::WaitLength : fed.states.back());
  return fed;
}

Bytes WithLength256() {
  Bytes wire{0x00, 0x92};
  uint8_t sum = static_cast<uint8_t>(0x93 + 0x92), x = 0x78 ^ 0x92;
  for (int i = 0; i < 256; ++i) {
    const auto b = static_cast<uint8_t>(255 - i);
    wire.push_back(b);
    sum = static_cast<uint8_t>(sum + b);
    x ^= b;
  }
  wire.push_back(sum);
  wire.push_back(x);
  return wire;
}

TEST(AnswerDecoder, StepsThroughAnAnswerByteByByte) {
  const Fed fed = FeedAll({0x01, 0x91, 0x00, 0x24, 0xE9});
  EXPECT_EQ(fed.states, std::vector<State>({State::WaitCode, State::ReceiveData, State::WaitSum,
                                            State::WaitXor, State::Good}));
  EXPECT_EQ(Bytes(fed.frame.begin(), fed.frame.begin() + 3), Bytes({0x01, 0x91, 0x00}));
}

TEST(AnswerDecoder, EndsInTheStateTheBytesLeadTo) {
  struct Case {
    const char* what;
    Bytes wire;
    State end;
    size_t kept;  // frame bytes that must hold the wire's first bytes
  };
  const Case cases[] = {
      {"nothing yet", {}, State::WaitLength, 0},
      {"length only", {0x02}, State::WaitCode, 1},
      {"in the data", {0x02, 0x92, 0x02}, State::ReceiveData, 3},
      {"sum missing", {0x01, 0x91, 0x00}, State::WaitSum, 3},
      {"xor missing", {0x01, 0x91, 0x00, 0x24}, State::WaitXor, 3},
      {"worked ack", {0x01, 0x91, 0x00, 0x24, 0xE9}, State::Good, 3},
      {"worked data", {0x02, 0x92, 0x02, 0x31, 0x58, 0xD9}, State::Good, 4},
      {"0xFF is data like any byte", {0x01, 0xFF, 0xFF, 0x91, 0x78}, State::Good, 3},
      {"wrong FrameSum", {0x02, 0x92, 0x02, 0x31, 0x59, 0xD9}, State::Bad, 4},
      {"wrong FrameXor", {0x02, 0x92, 0x02, 0x31, 0x58, 0xD8}, State::Bad, 4},
      {"both wrong", {0x02, 0x92, 0x02, 0x31, 0xD9, 0x58}, State::Bad, 4},
      {"bytes after a whole answer are not taken",
       {0x01, 0x91, 0x00, 0x24, 0xE9, 0x05, 0x06},
       State::Good,
       3},
      {"length 0 carries 256 data bytes", WithLength256(), State::Good, 258},
  };
  for (const auto& c : cases) {
    const Fed fed = FeedAll(c.wire);
    EXPECT_EQ(fed.states.empty() ? State::WaitLength : fed.states.back(), c.end) << c.what;
    EXPECT_EQ(Bytes(fed.frame.begin(), fed.frame.begin() + c.kept),
              Bytes(c.wire.begin(), c.wire.begin() + c.kept))
        << c.what;
  }
}

TEST(AnswerDecoder, ResetStartsANewAnswerInTheSameBuffer) {
  std::array<uint8_t, kAnswerFrameSize> frame{};
  AnswerDecoder decoder(frame);
  for (uint8_t b : {0x02, 0x92, 0x02, 0x31, 0x59, 0xD9}) decoder.Feed(b);
  EXPECT_EQ(decoder.state(), State::Bad);
  EXPECT_TRUE(decoder.Whole());
  decoder.Reset();
  EXPECT_FALSE(decoder.Whole());
  for (uint8_t b : {0x01, 0x91, 0x00, 0x24, 0xE9}) decoder.Feed(b);
  EXPECT_EQ(decoder.state(), State::Good);
  // The sums start again: nothing of the bad answer counts in the good one.
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), Bytes({0x01, 0x91, 0x00, 0x31}));
}

}  // namespace
}  // namespace tavrino
