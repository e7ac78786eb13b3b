// SPDX-License-Identifier: GPL-2.0-or-later
#include "link/AnswerDecoder.h"

namespace tavrino {
AnswerDecoder::State AnswerDecoder::Feed(uint8_t byte) {
  switch (state_) {
    case State::WaitLength:
      frame_[0] = byte;
      state_ = State::WaitCode;
      break;
    case State::WaitCode:
      frame_[1] = byte;
      remaining_ = frame_[0] == 0 ? 256 : frame_[0];
      writeIndex_ = 2;
      sum_ = static_cast<uint8_t>(kFrameSumSeed + byte);
      xor_ = static_cast<uint8_t>(kFrameXorSeed ^ byte);
      state_ = State::ReceiveData;
      break;
    case State::ReceiveData:
      frame_[writeIndex_++] = byte;
      sum_ = static_cast<uint8_t>(sum_ + byte);
      xor_ ^= byte;
      if (--remaining_ == 0) state_ = State::WaitSum;
      break;
    case State::WaitSum:
      sumRight_ = sum_ == byte;
      state_ = State::WaitXor;
      break;
    case State::WaitXor:
      state_ = sumRight_ && xor_ == byte ? State::Good : State::Bad;
      break;
    case State::Good:
    case State::Bad:
      break;
  }
  return state_;
}

}  // namespace tavrino
