#include "link/Link.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tavrino {
namespace {

constexpr uint8_t kPreamble = 0xFF;
constexpr uint8_t kStuffed = 0xFF;
constexpr uint8_t kStuffing = 0x00;
constexpr uint8_t kSumSeed = 0x93;
constexpr uint8_t kXorSeed = 0x78;
// Length byte, code, up to 256 data bytes, two check bytes.
constexpr uint16_t kMaxAnswerBytes = 1 + 1 + 256 + 2;

// FrameSum and FrameXor over the covered bytes; both wrap as bytes.
struct FrameCheck {
  uint8_t sum = kSumSeed;
  uint8_t xorValue = kXorSeed;
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

enum class ReaderState { WaitLength, WaitCode, ReceiveData, WaitSum, WaitXor, Complete };

}  // namespace

void Link::PutLinkByte(uint8_t value, bool inFrame) {
  const uint8_t bytes[2] = {value, kStuffing};
  const uint16_t count = inFrame && value == kStuffed ? 2 : 1;
  port_.QueuePortBytes(bytes, count);
  for (uint16_t i = 0; i < count && wireCount_ < kMaxWireRequest; ++i)
    wire_[wireCount_++] = bytes[i];
}

void Link::SendRequest(uint16_t n) {
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
  for (uint16_t i = 1; i <= 3; ++i) put(RequestFrame[i]);
  // The rest of the payload goes out last byte first.
  for (uint16_t i = n; i >= 4; --i) put(RequestFrame[i]);
  PutLinkByte(check.sum, true);
  PutLinkByte(check.xorValue, true);
  DropStaleInput();
  port_.FlushPortOutput();
  if (trace_ != nullptr) trace_->RequestSent(&RequestFrame[1], n, wire_, wireCount_);
}

bool Link::ReceiveAnswer(uint16_t timeoutMs) {
  ReaderState state = ReaderState::WaitLength;
  uint16_t remaining = 0;
  uint16_t writeIndex = 2;
  uint8_t receivedSum = 0;
  uint8_t receivedXor = 0;
  uint8_t arrived[kMaxAnswerBytes];
  uint16_t arrivedCount = 0;
  Stopwatch silence(host_.clock);

  for (;;) {
    uint8_t byte = 0;
    const bool got = port_.ReadPortByte(byte);
    if (got) {
      silence.Restart();
      arrived[arrivedCount++] = byte;
      switch (state) {
        case ReaderState::WaitLength:
          AnswerFrame[0] = byte;
          state = ReaderState::WaitCode;
          break;
        case ReaderState::WaitCode:
          AnswerFrame[1] = byte;
          remaining = AnswerDataCount();
          writeIndex = 2;
          state = ReaderState::ReceiveData;
          break;
        case ReaderState::ReceiveData:
          AnswerFrame[writeIndex++] = byte;
          if (--remaining == 0) state = ReaderState::WaitSum;
          break;
        case ReaderState::WaitSum:
          receivedSum = byte;
          state = ReaderState::WaitXor;
          break;
        case ReaderState::WaitXor:
          receivedXor = byte;
          state = ReaderState::Complete;
          break;
        case ReaderState::Complete:
          break;
      }
    } else {
      host_.ui.ProcessMessages();
    }
    const uint32_t elapsed = silence.Elapsed();
    if (elapsed > timeoutMs || state == ReaderState::Complete || StopRequested()) break;
    // Nothing waiting: sleep on the port until a byte comes, but never past the time-out.
    if (!got) port_.WaitForInput(std::min<uint32_t>(kIdleSliceMs, timeoutMs - elapsed + 1));
  }

  timedOut_ = state != ReaderState::Complete && !StopRequested();
  bool ok = false;
  if (state == ReaderState::Complete) {
    FrameCheck check;
    for (uint16_t i = 1; i <= AnswerDataCount() + 1; ++i) check.Add(AnswerFrame[i]);
    ok = check.sum == receivedSum && check.xorValue == receivedXor;
  }
  if (trace_ != nullptr) trace_->AnswerReceived(arrived, arrivedCount, ok);
  return ok;
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
  constexpr uint32_t kBitsPerByte = 10;  // start, 8 data, stop
  const uint32_t baud = port_.Baud();
  if (baud == 0) return 0;
  return (uint32_t{wireCount_} * kBitsPerByte * 1000 + baud - 1) / baud;
}

void Link::DropLateAnswers(uint16_t copies, uint16_t timeoutMs) {
  uint8_t taken[sizeof AnswerFrame];
  std::copy(std::begin(AnswerFrame), std::end(AnswerFrame), taken);
  const auto window =
      static_cast<uint16_t>(std::min<uint32_t>(timeoutMs + RequestWireMs(), UINT16_MAX));
  for (uint16_t k = 0; k < copies && !StopRequested(); ++k) {
    if (!ReceiveAnswer(window)) break;
  }
  std::copy(std::begin(taken), std::end(taken), AnswerFrame);
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
