// SPDX-License-Identifier: GPL-2.0-or-later
// A line that trickles bytes (noise, a failing adapter) never keeps a run waiting: every
// answer gives up at its bound, and the run ends as it does against a silent panel.
#include <gtest/gtest.h>

#include <deque>

#include "tests/run/RunRig.h"

namespace tavrino::test {
namespace {

// A line on the fake clock where nobody hears the tool, and a byte arrives every gapMs
// for as long as the port is open.
class TricklingLine : public SerialBackend {
 public:
  TricklingLine(FakeClock& clock, uint32_t gapMs, uint8_t value)
      : clock_(clock), gapMs_(gapMs), value_(value) {}

  std::string DeviceName(uint16_t n) const override { return "trickle" + std::to_string(n); }
  OpenError Open(const std::string&, uint32_t baud) override {
    open_ = true;
    baud_ = baud;
    next_ = clock_.NowMs() + gapMs_;
    return OpenError::None;
  }
  SerialError SetSpeed(uint32_t baud) override {
    baud_ = baud;
    return SerialError::None;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  size_t BytesWaiting() override {
    return open_ && clock_.NowMs() >= next_ ? (clock_.NowMs() - next_) / gapMs_ + 1 : 0;
  }
  size_t Read(uint8_t* buf, size_t n) override {
    size_t count = 0;
    while (count < n && open_ && clock_.NowMs() >= next_) {
      buf[count++] = value_;
      next_ += gapMs_;
    }
    return count;
  }
  SerialError Write(const uint8_t*, size_t) override {
    return open_ ? SerialError::None : SerialError::LineGone;
  }
  bool Cts() override { return false; }
  bool WaitReadable(uint32_t ms) override {
    if (BytesWaiting() > 0) return true;
    const uint32_t until = open_ ? std::min(next_ - clock_.NowMs(), ms) : ms;
    clock_.Advance(until);
    return BytesWaiting() > 0;
  }
  uint32_t Baud() const { return baud_; }

 private:
  FakeClock& clock_;
  uint32_t gapMs_;
  uint8_t value_;
  bool open_ = false;
  uint32_t baud_ = 0;
  uint32_t next_ = 0;
};

// How long each ReceiveAnswer took, and its bound at the speed it ran at.
class ReceiveTimes : public FrameTrace {
 public:
  ReceiveTimes(FakeClock& clock, const TricklingLine& line) : clock_(clock), line_(line) {}
  void RequestSent(const uint8_t*, uint16_t, const uint8_t*, uint16_t) override {
    sentAt_ = clock_.NowMs();
  }
  void AnswerReceived(const uint8_t*, uint16_t, bool) override {
    const uint32_t bound = Link::AnswerBoundMs(kHandshakeTimeoutMs, line_.Baud());
    overBound += clock_.NowMs() - sentAt_ > bound + 1;
    ++receives;
  }
  static constexpr uint16_t kHandshakeTimeoutMs = 3000;
  int receives = 0;
  int overBound = 0;

 private:
  FakeClock& clock_;
  const TricklingLine& line_;
  uint32_t sentAt_ = 0;
};

TEST(TricklingLine, EveryAnswerGivesUpAtItsBoundAndTheRunSaysNoConnection) {
  // 0x00 reads as the length of a 256-byte answer: the longest a trickle can make it.
  for (uint32_t gapMs : {2500u, 1000u, 100u, 20u}) {
    SCOPED_TRACE(gapMs);
    FakeClock clock(1000);
    TricklingLine line(clock, gapMs, 0x00);
    ScriptedFrontEnd ui;
    StatusLog log(59, 11);
    Subsystems core(line, clock, ui, log);
    Bytes bytes;
    std::string error;
    ASSERT_TRUE(
        PackFirmware({sim::SimulatedPanel::SyntheticProgram("1.04.02", 1)}, nullptr, bytes, error))
        << error;
    const auto path = std::filesystem::path(::testing::TempDir()) / "trickle.17";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    core.file.FirmwareFileName = path.string();
    ReceiveTimes times(clock, line);
    core.link.SetTrace(&times);

    EXPECT_EQ(core.Program(true), Outcome::NoConnection);
    EXPECT_EQ(StatusLog::Trimmed(log.History().back()), L("Connecting:", kNoConn));
    EXPECT_EQ(times.receives, 41) << "one receive per handshake attempt";
    EXPECT_EQ(times.overBound, 0);
    // The whole connection phase: 41 answers, none longer than the slowest speed's bound.
    EXPECT_LE(clock.NowMs() - 1000,
              41 * (Link::AnswerBoundMs(ReceiveTimes::kHandshakeTimeoutMs, 9600) + 1) + 1000);
  }
}

}  // namespace
}  // namespace tavrino::test
