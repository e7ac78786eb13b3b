// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <span>

#include "frontend/Host.h"
#include "link/AnswerDecoder.h"
#include "serial/SerialPort.h"

namespace tavrino {

// Answer codes of the Starter.
inline constexpr uint8_t AnswerAck = 0x91;
inline constexpr uint8_t AnswerData = 0x92;
inline constexpr uint8_t AnswerError = 0x93;
inline constexpr uint8_t AnswerBadCommand = 0x94;

// Watches every frame that goes out and comes in (tavrino-cli --trace). Optional.
class FrameTrace {
 public:
  virtual ~FrameTrace() = default;
  // The payload (command code first) and the bytes as they went on the wire.
  virtual void RequestSent(const uint8_t* payload, uint16_t n, const uint8_t* wire,
                           uint16_t wireCount) = 0;
  // The bytes that arrived for one ReceiveAnswer, and whether they made a good answer.
  virtual void AnswerReceived(const uint8_t* bytes, uint16_t count, bool ok) = 0;
  // Bytes found waiting before a request and dropped: they answered no request of it.
  virtual void StaleDropped(const uint8_t* /*bytes*/, uint16_t /*count*/) {}
};

// How one ReceiveAnswer ended.
enum class ReceiveResult {
  Answer,    // a whole answer with both check bytes right
  TimedOut,  // silence past the time-out, or the answer took longer than it may
  BadFrame,  // a whole answer with a wrong check byte
  Stopped,   // Stop, before a whole answer was in
  PortLost,  // the serial line went away: no answer can come on it any more
};

// Request and answer frames: the strict alternation of one request, at most one answer.
class Link {
 public:
  static constexpr uint16_t kMinRequest = 4;
  static constexpr uint16_t kMaxRequest = 259;
  // Longest stretch the frame reader and WaitMs sleep between two looks at the port and
  // the window; short enough that Stop and the window stay responsive.
  static constexpr uint16_t kIdleSliceMs = 10;
  // The largest request on the wire: preamble, length, and 261 bytes all stuffed.
  static constexpr uint16_t kMaxWireRequest = 2 + 1 + 2 * (kMaxRequest + 2);

  Link(SerialPort& port, Host& host) : port_(port), host_(host) {}

  // Queues one byte; in a frame a 0xFF is followed by a stuffed 0x00.
  void PutLinkByte(uint8_t value, bool inFrame);
  // Sends the payload (4 to 259 bytes, command code first) as one frame, in one write. Any
  // other size sends nothing, so the missing answer shows as a time-out. Bytes that came in
  // since the last answer are dropped first: they answer no request of this one, and read
  // as its answer they would put every exchange after it one answer behind.
  void SendRequest(std::span<const uint8_t> payload);
  // Receives one answer. The time-out bounds the silence before the first byte and between
  // bytes (strictly greater ends it), and AnswerBoundMs the answer as a whole, so that a
  // line that trickles bytes cannot hold the tool for ever. The answer's bytes stay in the
  // answer frame whatever the result. Ends at once when the line is found gone.
  ReceiveResult ReceiveAnswer(uint16_t timeoutMs);
  // The longest one ReceiveAnswer waits for an answer that keeps coming: the time-out
  // (the panel may take that long to begin) plus the longest answer's time on the wire
  // at this speed, twice over, plus kAnswerSlackMs.
  static uint32_t AnswerBoundMs(uint16_t timeoutMs, uint32_t baud);
  // What the bound allows beyond the wire time: adapters that hand bytes on in bursts,
  // and a busy machine.
  static constexpr uint32_t kAnswerSlackMs = 500;
  // After a request was sent again because its answer did not come in time, the answers
  // to the earlier copies may still come, late, behind the one just taken. Listens for at
  // most `copies` of them, each for the time-out plus the request's time on the wire (the
  // earliest a copy can have been taken in), drops them, and keeps the answer taken.
  void DropLateAnswers(uint16_t copies, uint16_t timeoutMs);
  // Waits at least ms (greater or equal), keeping the window alive; ends early on Stop.
  void WaitMs(uint16_t ms);

  // The last answer: its length byte as received, the number of data bytes D (the length
  // byte, 0 meaning 256), the code and the data.
  uint8_t AnswerLength() const { return answer_[0]; }
  uint16_t AnswerDataCount() const { return answer_[0] == 0 ? 256 : answer_[0]; }
  uint8_t AnswerCode() const { return answer_[1]; }
  uint8_t AnswerData(int k) const { return answer_[2 + k]; }
  std::span<const uint8_t> AnswerDataBytes() const { return {&answer_[2], AnswerDataCount()}; }

  bool StopRequested() const { return host_.Stopped(); }
  // The device under the open port went away (unplugged, hung up): nothing more can pass.
  bool LineGone() const { return port_.LineError() == SerialError::LineGone; }
  void SetTrace(FrameTrace* trace) { trace_ = trace; }

 private:
  SerialPort& port_;
  Host& host_;
  FrameTrace* trace_ = nullptr;
  // [0] length, [1] code, [2..257] data; kept until the next ReceiveAnswer.
  uint8_t answer_[kAnswerFrameSize] = {};
  void DropStaleInput();
  // Milliseconds the last request took on the wire at the port's speed, rounded up.
  uint32_t RequestWireMs() const;
  // The bytes of the request being sent, as they went on the wire, for the trace.
  uint8_t wire_[kMaxWireRequest] = {};
  uint16_t wireCount_ = 0;
};

}  // namespace tavrino
