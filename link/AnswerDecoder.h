// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <span>

namespace tavrino {

// Length byte, code, up to 256 data bytes: one answer as the link keeps it.
inline constexpr uint16_t kAnswerFrameSize = 1 + 1 + 256;
// Every frame, request or answer, ends with the byte sum and the XOR of the bytes it covers,
// each started from its seed.
inline constexpr uint8_t kFrameSumSeed = 0x93;
inline constexpr uint8_t kFrameXorSeed = 0x78;

// Reads one answer frame byte by byte, as the bytes come off the line: the length byte
// (0 stands for 256 data bytes), the code, the data, then the two check bytes over the
// code and the data. Answers carry no preamble and no stuffing, so every byte is taken as
// it comes, 0xFF included. It knows no clock and no port: the caller feeds it and decides
// how long to wait. The frame goes into the caller's buffer and stays there, good or bad.
class AnswerDecoder {
 public:
  enum class State { WaitLength, WaitCode, ReceiveData, WaitSum, WaitXor, Good, Bad };

  explicit AnswerDecoder(std::span<uint8_t, kAnswerFrameSize> frame) : frame_(frame) {}

  // Takes the next byte; once the answer is whole (Good or Bad) further bytes are not
  // taken and the state stays.
  State Feed(uint8_t byte);
  State state() const { return state_; }
  // Good or Bad: the answer is whole, with its check bytes right or wrong.
  bool Whole() const { return state_ == State::Good || state_ == State::Bad; }
  // Starts again on a new answer.
  void Reset() { state_ = State::WaitLength; }

 private:
  std::span<uint8_t, kAnswerFrameSize> frame_;
  State state_ = State::WaitLength;
  uint16_t remaining_ = 0;
  uint16_t writeIndex_ = 2;
  uint8_t sum_ = 0;  // FrameSum and FrameXor over what came so far
  uint8_t xor_ = 0;
  bool sumRight_ = false;
};

}  // namespace tavrino
