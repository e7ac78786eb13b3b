#pragma once
#include <cstdint>

#include "frontend/Host.h"
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
  // The payload RequestFrame[1..n] and the bytes as they went on the wire.
  virtual void RequestSent(const uint8_t* payload, uint16_t n, const uint8_t* wire,
                           uint16_t wireCount) = 0;
  // The bytes that arrived for one ReceiveAnswer, and whether they made a good answer.
  virtual void AnswerReceived(const uint8_t* bytes, uint16_t count, bool ok) = 0;
  // Bytes found waiting before a request and dropped: they answered no request of it.
  virtual void StaleDropped(const uint8_t* /*bytes*/, uint16_t /*count*/) {}
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
  // Sends RequestFrame[1..n] (4 <= n <= 259) as one frame, in one write. Any other n sends
  // nothing, so the missing answer shows as a time-out. Bytes that came in since the last
  // answer are dropped first: they answer no request of this one, and read as its answer
  // they would put every exchange after it one answer behind.
  void SendRequest(uint16_t n);
  // Receives one answer into AnswerFrame. The time-out bounds the silence before the
  // first byte and between bytes (strictly greater ends it). True only for a whole answer
  // with both check bytes right.
  bool ReceiveAnswer(uint16_t timeoutMs);
  // Whether the last ReceiveAnswer ended by its time-out, before a whole answer was in.
  bool AnswerTimedOut() const { return timedOut_; }
  // After a request was sent again because its answer did not come in time, the answers
  // to the earlier copies may still come, late, behind the one just taken. Listens for at
  // most `copies` of them, each for the time-out plus the request's time on the wire (the
  // earliest a copy can have been taken in), drops them, and keeps the answer taken.
  void DropLateAnswers(uint16_t copies, uint16_t timeoutMs);
  // Waits at least ms (greater or equal), keeping the window alive; ends early on Stop.
  void WaitMs(uint16_t ms);

  // Number of data bytes D of the last answer (the length byte, 0 meaning 256).
  uint16_t AnswerDataCount() const { return AnswerFrame[0] == 0 ? 256 : AnswerFrame[0]; }
  uint8_t AnswerCode() const { return AnswerFrame[1]; }
  uint8_t AnswerData(int k) const { return AnswerFrame[2 + k]; }

  bool StopRequested() const { return host_.Stopped(); }
  Host& host() { return host_; }
  SerialPort& port() { return port_; }
  void SetTrace(FrameTrace* trace) { trace_ = trace; }

  uint8_t RequestFrame[260] = {};  // indexed 1..259; [0] unused
  uint8_t AnswerFrame[258] = {};   // [0] length, [1] code, [2..257] data

 private:
  SerialPort& port_;
  Host& host_;
  FrameTrace* trace_ = nullptr;
  bool timedOut_ = false;
  void DropStaleInput();
  // Milliseconds the last request took on the wire at the port's speed, rounded up.
  uint32_t RequestWireMs() const;
  // The bytes of the request being sent, as they went on the wire, for the trace.
  uint8_t wire_[kMaxWireRequest] = {};
  uint16_t wireCount_ = 0;
};

}  // namespace tavrino
