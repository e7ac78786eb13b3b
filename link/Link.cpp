// SPDX-License-Identifier: GPL-2.0-or-later
#include "link/Link.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tavrino {
namespace {

constexpr uint8_t kPreamble = 0xFF;
constexpr uint8_t kStuffed = 0xFF;
constexpr uint8_t kStuffing = 0x00;
// Length byte, code, up to 256 data bytes, two check bytes.
constexpr uint16_t kMaxAnswerBytes = kAnswerFrameSize + 2;
constexpr uint32_t kBitsPerByte = 10;  // start, 8 data, stop

// Milliseconds that count bytes take on the wire at baud bit/s, rounded up.
uint32_t WireMs(uint32_t count, uint32_t baud) {
  if (baud == 0) return 0;
  return (count * kBitsPerByte * 1000 + baud - 1) / baud;
}

// FrameSum and FrameXor over the covered bytes; both wrap as bytes.
struct FrameCheck {
  uint8_t sum = kFrameSumSeed;
  uint8_t xorValue = kFrameXorSeed;
  void Add(uint8_t b) {
    sum = static_cast<uint8_t>(sum + b);
    xorValue ^= b;
  }
};

// Milliseconds since a mark on the 16-bit tick. Each look adds the 16-bit difference
// since the previous look, so a wrap of the tick between two looks costs nothing and a
// wait of 65535 ms still ends.
class Stopwatch {
 public:
  explicit Stopwatch(Clock& clock) : clock_(clock), last_(clock.Tick()) {}
  void Restart() {
    last_ = clock_.Tick();
    elapsed_ = 0;
  }
  uint32_t Elapsed() {
    const uint16_t now = clock_.Tick();
    elapsed_ += static_cast<uint16_t>(now - last_);
    last_ = now;
    return elapsed_;
  }

 private:
  Clock& clock_;
  uint16_t last_;
  uint32_t elapsed_ = 0;
};

}  // namespace

void Link::PutLinkByte(uint8_t value, bool inFrame) {
  const uint8_t bytes[2] = {value, kStuffing};
  const uint16_t count = inFrame && value == kStuffed ? 2 : 1;
  port_.QueuePortBytes(bytes, count);
  for (uint16_t i = 0; i < count && wireCount_ < kMaxWireRequest; ++i)
    wire_[wireCount_++] = bytes[i];
}

void Link::SendRequest(std::span<const uint8_t> payload) {
  const size_t n = payload.size();
  if (n < kMinRequest || n > kMaxRequest) return;
  wireCount_ = 0;
  PutLinkByte(kPreamble, false);
  PutLinkByte(kPreamble, false);
  // The bytes after the first three; 0 stands for 256.
  PutLinkByte(static_cast<uint8_t>(n - 3), false);

  FrameCheck check;
  auto put = [&](uint8_t b) {
    PutLinkByte(b, true);
    check.Add(b);
  };
  for (size_t i = 0; i < 3; ++i) put(payload[i]);
  // The rest of the payload goes out last byte first.
  for (size_t i = n; i > 3; --i) put(payload[i - 1]);
  PutLinkByte(check.sum, true);
  PutLinkByte(check.xorValue, true);
  DropStaleInput();
  port_.FlushPortOutput();
  if (trace_ != nullptr)
    trace_->RequestSent(payload.data(), static_cast<uint16_t>(n), wire_, wireCount_);
}

uint32_t Link::AnswerBoundMs(uint16_t timeoutMs, uint32_t baud) {
  return timeoutMs + 2 * WireMs(kMaxAnswerBytes, baud) + kAnswerSlackMs;
}

ReceiveResult Link::ReceiveAnswer(uint16_t timeoutMs) {
  AnswerDecoder decoder(answer_);
  uint8_t arrived[kMaxAnswerBytes];
  uint16_t arrivedCount = 0;
  const uint32_t boundMs = AnswerBoundMs(timeoutMs, port_.Baud());
  Stopwatch silence(host_.clock);
  Stopwatch whole(host_.clock);

  for (;;) {
    uint8_t byte = 0;
    const bool got = port_.ReadPortByte(byte);
    if (got) {
      silence.Restart();
      arrived[arrivedCount++] = byte;
      decoder.Feed(byte);
    } else {
      host_.ui.ProcessMessages();
    }
    // A line found gone cannot bring the rest: waiting the time-out out would only hide
    // that the port has stopped working.
    if (!got && LineGone()) break;
    const uint32_t quiet = silence.Elapsed();
    const uint32_t taken = whole.Elapsed();
    if (quiet > timeoutMs || taken > boundMs || decoder.Whole() || StopRequested()) break;
    // Nothing waiting: sleep on the port until a byte comes, but never past either limit.
    if (!got) {
      port_.WaitForInput(
          std::min({uint32_t{kIdleSliceMs}, timeoutMs - quiet + 1, boundMs - taken + 1}));
    }
  }

  ReceiveResult result = ReceiveResult::TimedOut;
  if (decoder.state() == AnswerDecoder::State::Good) {
    result = ReceiveResult::Answer;
  } else if (decoder.state() == AnswerDecoder::State::Bad) {
    result = ReceiveResult::BadFrame;
  } else if (StopRequested()) {
    result = ReceiveResult::Stopped;
  } else if (LineGone()) {
    result = ReceiveResult::PortLost;
  }
  if (trace_ != nullptr)
    trace_->AnswerReceived(arrived, arrivedCount, result == ReceiveResult::Answer);
  return result;
}

void Link::DropStaleInput() {
  // Bounded, so that a line that babbles without end cannot hold the request back.
  constexpr uint16_t kMaxDropped = 4 * kMaxAnswerBytes;
  uint8_t stale[kMaxDropped];
  uint16_t count = 0;
  while (count < kMaxDropped && port_.ReadPortByte(stale[count])) ++count;
  if (count > 0 && trace_ != nullptr) trace_->StaleDropped(stale, count);
}

uint32_t Link::RequestWireMs() const {
  return WireMs(wireCount_, port_.Baud());
}

void Link::DropLateAnswers(uint16_t copies, uint16_t timeoutMs) {
  uint8_t taken[kAnswerFrameSize];
  std::copy(std::begin(answer_), std::end(answer_), taken);
  const auto window =
      static_cast<uint16_t>(std::min<uint32_t>(timeoutMs + RequestWireMs(), UINT16_MAX));
  for (uint16_t k = 0; k < copies && !StopRequested(); ++k) {
    if (ReceiveAnswer(window) != ReceiveResult::Answer) break;
  }
  std::copy(std::begin(taken), std::end(taken), answer_);
}

void Link::WaitMs(uint16_t ms) {
  Stopwatch waited(host_.clock);
  for (;;) {
    host_.ui.ProcessMessages();
    const uint32_t elapsed = waited.Elapsed();
    if (elapsed >= ms || StopRequested()) return;
    host_.clock.SleepMs(std::min<uint32_t>(kIdleSliceMs, ms - elapsed));
  }
}

}  // namespace tavrino
