// SPDX-License-Identifier: GPL-2.0-or-later
// Request and answer frames over an in-memory line on the fake clock.
#include <gtest/gtest.h>

#include <vector>

#include "frontend/StatusLog.h"
#include "link/Link.h"
#include "serial/InMemoryLine.h"
#include "support/ScriptedFrontEnd.h"

namespace tavrino {
namespace {

using Bytes = std::vector<uint8_t>;

struct FrameRig {
  explicit FrameRig(uint32_t clockStart = 1000)
      : clock(clockStart),
        line(clock),
        port(line),
        log(59, 11),
        host(clock, ui, log),
        link(port, host) {
    port.OpenPort(1, 12, 'N');
  }

  // Sends the payload and returns what went out.
  Bytes Send(const Bytes& payload) {
    const size_t before = line.writes.size();
    link.SendRequest(payload);
    EXPECT_LE(line.writes.size(), before + 1) << "a request leaves in one write";
    return line.writes.size() > before ? line.writes.back() : Bytes{};
  }
  // The last answer as the link keeps it: length byte, code, data.
  Bytes Answer() const {
    Bytes frame{link.AnswerLength(), link.AnswerCode()};
    const auto data = link.AnswerDataBytes();
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
  }

  FakeClock clock;
  test::InMemoryLine line;
  SerialPort port;
  test::ScriptedFrontEnd ui;
  StatusLog log;
  Host host;
  Link link;
};

// An answer as the Starter sends it; the worked answers below pin the check bytes.
Bytes AnswerOnWire(uint8_t code, const Bytes& data) {
  uint8_t sum = 0x93 + code, x = 0x78 ^ code;
  for (uint8_t b : data) {
    sum = static_cast<uint8_t>(sum + b);
    x ^= b;
  }
  Bytes wire{static_cast<uint8_t>(data.size()), code};
  wire.insert(wire.end(), data.begin(), data.end());
  wire.push_back(sum);
  wire.push_back(x);
  return wire;
}

// Removes the 0x00 after every 0xFF past the preamble and the length byte.
Bytes Unstuffed(const Bytes& wire) {
  Bytes out(wire.begin(), wire.begin() + 3);
  for (size_t i = 3; i < wire.size(); ++i) {
    out.push_back(wire[i]);
    if (wire[i] == 0xFF) {
      EXPECT_LT(i + 1, wire.size());
      EXPECT_EQ(wire[i + 1], 0x00) << "at " << i;
      ++i;
    }
  }
  return out;
}

TEST(RequestFrames, GoOutByteForByte) {
  struct Case {
    const char* what;
    Bytes payload, wire;
  };
  const Case cases[] = {
      {"restart", {0x67, 0x68, 0x69, 0x6A}, {0xFF, 0xFF, 0x01, 0x67, 0x68, 0x69, 0x6A, 0x35, 0x74}},
      {"sync, 0xFF in the reversed body",
       {0x1B, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF},
       {0xFF, 0xFF, 0x04, 0x1B, 0xAA, 0xBB, 0xFF, 0x00, 0xEE, 0xDD, 0xCC, 0xA9, 0x72}},
      {"sync, 0xFF in the first three",
       {0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA},
       {0xFF, 0xFF, 0x04, 0x0D, 0xFF, 0x00, 0xEE, 0xAA, 0xBB, 0xCC, 0xDD, 0x9B, 0x64}},
      {"read flash byte",
       {0x62, 0xF9, 0x1F, 0x07, 0x01},
       {0xFF, 0xFF, 0x02, 0x62, 0xF9, 0x1F, 0x01, 0x07, 0x15, 0xFA}},
      {"FrameSum of 0xFF is stuffed",
       {0x6C, 0x00, 0x00, 0x00},
       {0xFF, 0xFF, 0x01, 0x6C, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x14}},
      {"FrameXor of 0xFF is stuffed",
       {0x87, 0x00, 0x00, 0x00},
       {0xFF, 0xFF, 0x01, 0x87, 0x00, 0x00, 0x00, 0x1A, 0xFF, 0x00}},
  };
  for (const auto& c : cases) {
    FrameRig rig;
    EXPECT_EQ(rig.Send(c.payload), c.wire) << c.what;
  }
}

TEST(RequestFrames, LengthByteIsNeverStuffed) {
  FrameRig rig;
  const Bytes wire = rig.Send(Bytes(258, 0x00));  // length 255
  ASSERT_EQ(wire.size(), 3u + 258 + 2);
  EXPECT_EQ(wire[2], 0xFF);
  EXPECT_EQ(wire[3], 0x00);
  EXPECT_EQ(wire[4], 0x00);
}

TEST(RequestFrames, LongestRequestKeepsItsOrderAndFitsOneWrite) {
  FrameRig rig;
  Bytes payload(259);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i + 1);
  const Bytes body = Unstuffed(rig.Send(payload));
  ASSERT_EQ(body.size(), 3u + 259 + 2);
  EXPECT_EQ(body[2], 0x00) << "259 - 3 = 256 is sent as 0";
  Bytes expected = {payload[0], payload[1], payload[2]};
  for (int i = 258; i >= 3; --i) expected.push_back(payload[i]);
  EXPECT_EQ(Bytes(body.begin() + 3, body.end() - 2), expected);

  const Bytes allFF = rig.Send(Bytes(259, 0xFF));
  EXPECT_EQ(allFF.size(), 3u + 2 * 259 + 2) << "every payload byte stuffed";
  EXPECT_EQ(rig.port.OutputCount, 0);
}

TEST(RequestFrames, LengthOutsideTheFrameSendsNothing) {
  for (uint16_t n : {0, 3, 260, 1000}) {
    FrameRig rig;
    rig.link.SendRequest(Bytes(n, 0x61));
    EXPECT_TRUE(rig.line.writes.empty()) << n;
    EXPECT_EQ(rig.port.OutputCount, 0) << n;
  }
}

TEST(AnswerFrames, AreReceivedAndChecked) {
  struct Case {
    const char* what;
    Bytes wire;
    ReceiveResult result;
  };
  constexpr auto kAnswer = ReceiveResult::Answer;
  constexpr auto kBad = ReceiveResult::BadFrame;
  const Case cases[] = {
      {"ack", {0x01, 0x91, 0x00, 0x24, 0xE9}, kAnswer},
      {"data 02 31", {0x02, 0x92, 0x02, 0x31, 0x58, 0xD9}, kAnswer},
      {"0xFF taken as it comes", AnswerOnWire(0x92, {0xFF, 0x00, 0xFF}), kAnswer},
      {"wrong FrameSum", {0x02, 0x92, 0x02, 0x31, 0x59, 0xD9}, kBad},
      {"wrong FrameXor", {0x02, 0x92, 0x02, 0x31, 0x58, 0xD8}, kBad},
  };
  for (const auto& c : cases) {
    FrameRig rig;
    rig.line.Arrive(c.wire);
    EXPECT_EQ(rig.link.ReceiveAnswer(3000), c.result) << c.what;
    // The answer stays in the link, good or bad.
    EXPECT_EQ(rig.Answer(), Bytes(c.wire.begin(), c.wire.end() - 2)) << c.what;
  }
}

TEST(AnswerFrames, LengthZeroCarries256Bytes) {
  FrameRig rig;
  Bytes data(256);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(255 - i);
  rig.line.Arrive(AnswerOnWire(AnswerData, data));
  ASSERT_EQ(rig.link.ReceiveAnswer(3000), ReceiveResult::Answer);
  EXPECT_EQ(rig.link.AnswerDataCount(), 256);
  EXPECT_EQ(rig.link.AnswerCode(), AnswerData);
  const auto got = rig.link.AnswerDataBytes();
  EXPECT_EQ(Bytes(got.begin(), got.end()), data);
}

// The time-out bounds the silence before and between bytes, and only a silence longer
// than it ends the wait. (The reader looks at the port before the clock, so a byte that is
// there when the clock first reads past the time-out still counts; one that comes later
// does not.) The answer as a whole may take longer than the time-out.
TEST(AnswerFrames, TimeOutCountsSilenceStrictly) {
  struct Case {
    uint32_t delay, gap;  // before the first byte; between the second and the third
    uint16_t timeout;
    ReceiveResult result;
  };
  constexpr auto kAnswer = ReceiveResult::Answer;
  constexpr auto kTimedOut = ReceiveResult::TimedOut;
  const Case cases[] = {
      {3000, 0, 3000, kAnswer},  {3002, 0, 3000, kTimedOut},  {10, 2000, 3000, kAnswer},
      {10, 3000, 3000, kAnswer}, {10, 3002, 3000, kTimedOut}, {0, 49, 49, kAnswer},
      {0, 51, 49, kTimedOut},    {15000, 0, 15000, kAnswer},  {2900, 900, 3000, kAnswer},
  };
  for (const auto& c : cases) {
    FrameRig rig;
    rig.line.Arrive({0x01, 0x91}, c.delay);
    rig.line.Arrive({0x00, 0x24, 0xE9}, c.delay + c.gap);
    EXPECT_EQ(rig.link.ReceiveAnswer(c.timeout), c.result)
        << "delay " << c.delay << " gap " << c.gap << " timeout " << c.timeout;
  }
}

TEST(AnswerFrames, SilenceEndsTheWaitJustPastTheTimeOutAcrossATickWrap) {
  for (uint32_t start : {1000u, 65530u, 65535u - 1500u}) {
    FrameRig rig(start);
    rig.line.Arrive({0x01, 0x91}, 20, 500);  // the rest never comes
    EXPECT_EQ(rig.link.ReceiveAnswer(3000), ReceiveResult::TimedOut) << start;
    EXPECT_EQ(rig.clock.NowMs() - start, 20u + 500 + 3001) << start;
  }
}

// A line that trickles bytes, each within the silence rule, never makes the reader wait
// past the answer's bound, at any speed; an answer that keeps to the bound is taken.
TEST(AnswerFrames, ATricklingLineGivesUpAtTheAnswersBound) {
  struct Case {
    uint16_t divisor;  // 115200 / divisor bit/s
    uint32_t delay, gap;
    uint16_t timeout;
    ReceiveResult result;
  };
  constexpr auto kAnswer = ReceiveResult::Answer;
  constexpr auto kTimedOut = ReceiveResult::TimedOut;
  const Case cases[] = {
      {12, 0, 2500, 3000, kTimedOut},     {12, 0, 2999, 3000, kTimedOut},
      {12, 100, 20, 3000, kTimedOut},     {12, 2999, 2, 3000, kAnswer},
      {2, 0, 40, 49, kTimedOut},          {2, 40, 1, 49, kAnswer},
      {3, 14000, 1000, 15000, kTimedOut}, {6, 0, 300, 3000, kTimedOut},
  };
  for (const auto& c : cases) {
    FrameRig rig;
    rig.port.OpenPort(1, c.divisor, 'N');
    // Length 0: 256 data bytes, so the answer is whole only after 260 bytes.
    Bytes answer = AnswerOnWire(AnswerData, Bytes(256, 0x5A));
    answer.insert(answer.end(), 2000, 0x00);  // and the line goes on trickling
    rig.line.Arrive(answer, c.delay, c.gap);
    const uint32_t bound = Link::AnswerBoundMs(c.timeout, rig.port.Baud());
    EXPECT_EQ(rig.link.ReceiveAnswer(c.timeout), c.result) << c.divisor << " " << c.gap;
    const uint32_t waited = rig.clock.NowMs() - 1000;
    if (c.result == kTimedOut) {
      EXPECT_EQ(waited, bound + 1) << c.divisor << " " << c.gap;
    } else {
      EXPECT_LE(waited, bound) << c.divisor << " " << c.gap;
    }
  }
  // The bound: the time-out, the longest answer twice over on the wire, and the slack.
  EXPECT_EQ(Link::AnswerBoundMs(3000, 9600), 3000u + 2 * 271 + Link::kAnswerSlackMs);
  EXPECT_EQ(Link::AnswerBoundMs(49, 57600), 49u + 2 * 46 + Link::kAnswerSlackMs);
}

TEST(AnswerFrames, IdleWaitsSleepOnThePortInShortSlices) {
  FrameRig rig;
  EXPECT_EQ(rig.link.ReceiveAnswer(100), ReceiveResult::TimedOut);
  ASSERT_FALSE(rig.line.waits.empty());
  uint32_t slept = 0;
  for (uint32_t ms : rig.line.waits) {
    EXPECT_GE(ms, 1u);
    EXPECT_LE(ms, Link::kIdleSliceMs);
    slept += ms;
  }
  EXPECT_EQ(slept, 101u) << "never sleeps past the time-out";
  EXPECT_EQ(rig.ui.pumps, static_cast<int>(rig.line.waits.size()) + 1);
}

TEST(AnswerFrames, TimeOutZeroTakesOnlyWhatIsWaiting) {
  const Bytes ack = {0x01, 0x91, 0x00, 0x24, 0xE9};
  {
    FrameRig rig;
    rig.line.Arrive(ack);
    EXPECT_EQ(rig.link.ReceiveAnswer(0), ReceiveResult::Answer) << "a whole answer waiting";
  }
  {
    FrameRig rig;
    rig.line.Arrive({ack[0], ack[1]});
    rig.line.Arrive({ack[2], ack[3], ack[4]}, 5);
    EXPECT_EQ(rig.link.ReceiveAnswer(0), ReceiveResult::TimedOut);
    EXPECT_EQ(rig.clock.NowMs(), 1001u);
    rig.clock.Advance(10);
    EXPECT_EQ(rig.line.Unread(), 3u) << "later bytes stay queued";
  }
  {
    FrameRig rig;
    EXPECT_EQ(rig.link.ReceiveAnswer(0), ReceiveResult::TimedOut);
    EXPECT_EQ(rig.clock.NowMs(), 1001u);
  }
}

TEST(AnswerFrames, BytesAfterAnAnswerStartTheNextOne) {
  FrameRig rig;
  rig.line.Arrive({0x01, 0x91, 0x00, 0x24, 0xE9, 0x02, 0x92, 0x02, 0x31, 0x58, 0xD9});
  ASSERT_EQ(rig.link.ReceiveAnswer(3000), ReceiveResult::Answer);
  EXPECT_EQ(rig.link.AnswerCode(), AnswerAck);
  ASSERT_EQ(rig.link.ReceiveAnswer(3000), ReceiveResult::Answer);
  EXPECT_EQ(rig.Answer(), Bytes({0x02, 0x92, 0x02, 0x31}));

  // A stray byte spoils the next answer; the reader does not resynchronise by itself.
  // Here it reads as the length of a 256-byte answer that never comes whole.
  rig.line.Arrive({0x00, 0x01, 0x91, 0x00, 0x24, 0xE9});
  EXPECT_EQ(rig.link.ReceiveAnswer(3000), ReceiveResult::TimedOut);
}

TEST(Waits, StopEndsThemWithinOnePass) {
  FrameRig rig;
  rig.ui.onPump = [&] { rig.host.RequestStop(); };
  EXPECT_EQ(rig.link.ReceiveAnswer(15000), ReceiveResult::Stopped);
  EXPECT_EQ(rig.ui.pumps, 1);
  EXPECT_TRUE(rig.line.waits.empty());
  rig.link.WaitMs(15000);
  EXPECT_EQ(rig.ui.pumps, 2);
  EXPECT_EQ(rig.clock.NowMs(), 1000u);

  // Stop in the middle of an answer that trickles in.
  FrameRig mid;
  mid.line.Arrive({0x01, 0x91, 0x00, 0x24, 0xE9}, 0, 100);
  mid.ui.onPump = [&] {
    if (mid.clock.NowMs() >= 1150) mid.host.RequestStop();
  };
  EXPECT_EQ(mid.link.ReceiveAnswer(3000), ReceiveResult::Stopped);
  EXPECT_LT(mid.clock.NowMs(), 1150u + Link::kIdleSliceMs + 1);
}

TEST(Waits, WaitMsWaitsAtLeastTheTimeAndPumpsAtLeastOnce) {
  for (uint32_t start : {1000u, 65530u}) {
    for (uint16_t ms : {0, 1, 25, 60, 330, 65535}) {
      FrameRig rig(start);
      rig.link.WaitMs(ms);
      const uint32_t waited = rig.clock.NowMs() - start;
      EXPECT_GE(waited, ms) << start << " " << ms;
      EXPECT_LT(waited, ms + Link::kIdleSliceMs) << start << " " << ms;
      EXPECT_GE(rig.ui.pumps, 1);
    }
  }
}

TEST(Waits, LongestTimeOutStillEnds) {
  FrameRig rig(65000);
  EXPECT_EQ(rig.link.ReceiveAnswer(65535), ReceiveResult::TimedOut);
  EXPECT_EQ(rig.clock.NowMs() - 65000, 65536u);
}

TEST(Waits, ClosedPortEndsByTimeOutWhileSleeping) {
  FrameRig rig;
  rig.line.Arrive({0x01, 0x91, 0x00, 0x24, 0xE9});
  rig.port.ClosePort();
  EXPECT_EQ(rig.link.ReceiveAnswer(3000), ReceiveResult::TimedOut);
  EXPECT_EQ(rig.clock.NowMs(), 1000u + 3001);
  rig.link.SendRequest(Bytes{0x67, 0x68, 0x69, 0x6A});
  EXPECT_TRUE(rig.line.writes.empty());
}

struct RecordingTrace : FrameTrace {
  Bytes payload, wire, answer;
  std::vector<bool> results;
  void RequestSent(const uint8_t* p, uint16_t n, const uint8_t* w, uint16_t count) override {
    payload.assign(p, p + n);
    wire.assign(w, w + count);
  }
  void AnswerReceived(const uint8_t* bytes, uint16_t count, bool ok) override {
    answer.assign(bytes, bytes + count);
    results.push_back(ok);
  }
};

TEST(FrameTrace, SeesRequestsAndTheBytesAnAnswerBrought) {
  FrameRig rig;
  RecordingTrace trace;
  rig.link.SetTrace(&trace);
  const Bytes sent = rig.Send({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA});
  EXPECT_EQ(trace.payload, Bytes({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}));
  EXPECT_EQ(trace.wire, sent);

  rig.line.Arrive({0x02, 0x92, 0x02, 0x31, 0x58, 0xD9, 0x77});
  EXPECT_EQ(rig.link.ReceiveAnswer(3000), ReceiveResult::Answer);
  EXPECT_EQ(trace.answer, Bytes({0x02, 0x92, 0x02, 0x31, 0x58, 0xD9}));
  EXPECT_EQ(rig.link.ReceiveAnswer(3000), ReceiveResult::TimedOut);
  EXPECT_EQ(trace.answer, Bytes({0x77}));
  EXPECT_EQ(trace.results, std::vector<bool>({true, false}));
}

}  // namespace
}  // namespace tavrino
