// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/PanelWire.h"

namespace tavrino::sim {

uint8_t FrameSum(const uint8_t* bytes, size_t n) {
  uint8_t sum = kSumSeed;
  for (size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return sum;
}

uint8_t FrameXor(const uint8_t* bytes, size_t n) {
  uint8_t x = kXorSeed;
  for (size_t i = 0; i < n; ++i) x = static_cast<uint8_t>(x ^ bytes[i]);
  return x;
}

std::vector<uint8_t> EncodeAnswer(uint8_t code, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> covered;
  covered.reserve(data.size() + 1);
  covered.push_back(code);
  covered.insert(covered.end(), data.begin(), data.end());
  std::vector<uint8_t> wire;
  wire.reserve(covered.size() + 3);
  wire.push_back(static_cast<uint8_t>(data.size() & 0xFF));
  wire.insert(wire.end(), covered.begin(), covered.end());
  wire.push_back(FrameSum(covered.data(), covered.size()));
  wire.push_back(FrameXor(covered.data(), covered.size()));
  return wire;
}

void RequestDecoder::Reset() {
  state_ = State::Idle;
  stuffPending_ = false;
  body_.clear();
  partial_.clear();
}

void RequestDecoder::StartFrame() {
  state_ = State::Length;
  stuffPending_ = false;
  body_.clear();
  partial_.assign(2, kPreamble);
}

RequestDecoder::Event RequestDecoder::Feed(uint8_t byte) {
  switch (state_) {
    case State::Idle:
      if (byte == kPreamble) {
        state_ = State::Preamble;
        partial_.assign(1, byte);
      }
      return Event::None;
    case State::Preamble:
      if (byte == kPreamble) {
        StartFrame();
      } else {
        state_ = State::Idle;
        partial_.clear();
      }
      return Event::None;
    case State::Length: {
      partial_.push_back(byte);
      const size_t n = byte == 0 ? 259 : static_cast<size_t>(byte) + 3;
      expected_ = n + 2;
      state_ = State::Body;
      return Event::None;
    }
    case State::Body:
      break;
  }
  if (stuffPending_) {
    stuffPending_ = false;
    if (byte == kPreamble) {  // FF FF: the tool has started over
      StartFrame();
      return Event::None;
    }
    partial_.push_back(byte);
    if (byte != 0x00) {  // an FF that was not stuffed: the frame is broken
      raw_ = partial_;
      Reset();
      return Event::BadFrame;
    }
    return body_.size() == expected_ ? FinishBody() : Event::None;
  }
  partial_.push_back(byte);
  body_.push_back(byte);
  if (byte == kPreamble) {
    stuffPending_ = true;  // wait for the stuffing byte, even after the last check byte
    return Event::None;
  }
  return body_.size() == expected_ ? FinishBody() : Event::None;
}

RequestDecoder::Event RequestDecoder::FinishBody() {
  raw_ = partial_;
  const size_t n = expected_ - 2;
  // Wire order: 1, 2, 3, n, n-1, ..., 4, sum, xor.
  payload_.assign(n, 0);
  for (size_t i = 0; i < 3; ++i) payload_[i] = body_[i];
  for (size_t index = n; index >= 4; --index) payload_[index - 1] = body_[3 + (n - index)];
  const uint8_t sum = body_[n];
  const uint8_t x = body_[n + 1];
  const bool good = sum == FrameSum(payload_.data(), n) && x == FrameXor(payload_.data(), n);
  Reset();
  return good ? Event::Frame : Event::BadFrame;
}

}  // namespace tavrino::sim
