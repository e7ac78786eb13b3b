// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The panel's side of the wire: decoding request frames byte by byte and building answer
// frames. Written from the panel's point of view and kept apart from the tool's frame
// code, so that a fault there shows up here instead of being mirrored.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrino::sim {

inline constexpr uint8_t kPreamble = 0xFF;
inline constexpr uint8_t kSumSeed = 0x93;
inline constexpr uint8_t kXorSeed = 0x78;

uint8_t FrameSum(const uint8_t* bytes, size_t n);
uint8_t FrameXor(const uint8_t* bytes, size_t n);

// An answer on the wire: length (0 = 256 data bytes), code, data, sum, xor.
// data must hold 1 to 256 bytes.
std::vector<uint8_t> EncodeAnswer(uint8_t code, const std::vector<uint8_t>& data);

// Takes the request bytes as they come off the line. A frame starts with FF FF and the
// length byte; everything after the length is stuffed (FF 00 on the wire stands for FF),
// and FF FF anywhere means a new frame starts there.
class RequestDecoder {
 public:
  enum class Event { None, Frame, BadFrame };

  Event Feed(uint8_t byte);
  void Reset();

  // After Frame: the payload in index order (command code first), n = Payload().size().
  const std::vector<uint8_t>& Payload() const { return payload_; }
  // After Frame or BadFrame: the wire bytes of that frame, preamble included.
  const std::vector<uint8_t>& Raw() const { return raw_; }
  // True while a frame has begun (preamble seen) and is not complete.
  bool InFrame() const { return state_ != State::Idle; }

 private:
  enum class State { Idle, Preamble, Length, Body };

  void StartFrame();
  Event FinishBody();

  State state_ = State::Idle;
  bool stuffPending_ = false;  // the previous body byte was FF
  size_t expected_ = 0;        // body bytes (n payload + 2 check bytes)
  std::vector<uint8_t> body_;  // unstuffed, in wire order
  std::vector<uint8_t> payload_;
  std::vector<uint8_t> raw_;
  std::vector<uint8_t> partial_;  // wire bytes of the frame being received
};

}  // namespace tavrino::sim
