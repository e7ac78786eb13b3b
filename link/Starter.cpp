// SPDX-License-Identifier: GPL-2.0-or-later
#include "link/Starter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace tavrino {

namespace {

constexpr uint16_t kFlashTimeoutMs = 3000;
constexpr uint16_t kEraseTimeoutMs = 15000;
constexpr uint16_t kSettingsTimeoutMs = 49;
constexpr uint16_t kBlockSize = 256;

// The Starter's command codes, each a request's first byte.
constexpr uint8_t kReadFlashCommand = 0x62;      // then the address, 1 byte or 0 for 256
constexpr uint8_t kFlashChecksumCommand = 0x64;  // then the address and a length of 3 bytes
constexpr uint8_t kWriteFlashCommand = 0x65;     // then bits 8..23 of the address, 256 bytes
constexpr uint8_t kEraseFlashCommand = 0x66;     // then the sector and two more 0x66
constexpr uint8_t kKeypadCommand = 0x21;         // then the text's length and where it goes
constexpr uint8_t kReadOneByte = 0x01;
constexpr uint8_t kReadWholeBlock = 0x00;  // a count of 0 reads 256 bytes

// The Starter takes the memory number into the command code; a number that would carry
// past a byte names another command altogether.
constexpr uint8_t kReadDataCommand = 0x70;
constexpr uint8_t kWriteDataCommand = 0x80;
constexpr uint8_t kMaxReadMemory = 0xFF - kReadDataCommand;
constexpr uint8_t kMaxWriteMemory = 0xFF - kWriteDataCommand;

constexpr std::array<uint8_t, 7> kSyncFirstVariant = {0x1B, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
constexpr std::array<uint8_t, 7> kSyncSecondVariant = {0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
constexpr std::array<uint8_t, 4> kSpeedRequest = {0x14, 0x55, 0xAA, 0x41};
constexpr std::array<uint8_t, 4> kRestartRequest = {0x67, 0x68, 0x69, 0x6A};
constexpr std::array<uint8_t, 4> kIdentifyRequest = {0x61, 0x61, 0x61, 0x61};

constexpr uint8_t kFlagSecondHalf = 0x02;  // 24 MHz board: program from the second half
constexpr uint8_t kFlagBadFlash = 0x04;    // the Starter cannot work with its flash chip

constexpr int kRestartHandshakes = 9;
constexpr int kRestartRequests = 3;

// How the shared retry loop ended.
enum class Tries { Success, NoAnswerLimit, Failed, PortLost };

// Limits on failed receives and on answers of the wrong kind; "shared" counts both kinds
// in the noAnswer counter alone.
struct Limits {
  uint16_t noAnswer;
  uint16_t badAnswer;
  bool shared = false;
};
constexpr Limits kReadLimits{3, 3};
constexpr Limits kEraseLimits{2, 2};
constexpr Limits kChecksumLimits{3, 3, true};

// One request and its answer, repeated until accept() likes the answer, a counter passes
// its limit, or Stop. The request is sent anew on every pass, always the same frame, so
// whichever copy an accepted answer belongs to, it answers this request; the answers of
// copies that timed out may still follow it, and are let in and dropped here.
template <class Accept>
Tries Repeat(Link& link, std::span<const uint8_t> request, uint16_t timeoutMs, Limits limits,
             Accept accept) {
  uint16_t noAnswer = 0;
  uint16_t badAnswer = 0;
  uint16_t timedOut = 0;
  for (;;) {
    link.SendRequest(request);
    const ReceiveResult received = link.ReceiveAnswer(timeoutMs);
    // No copy sent again can pass a line that is gone.
    if (received == ReceiveResult::PortLost) return Tries::PortLost;
    if (received != ReceiveResult::Answer) {
      ++noAnswer;
      if (received == ReceiveResult::TimedOut) ++timedOut;
    } else if (accept()) {
      if (timedOut > 0) link.DropLateAnswers(timedOut, timeoutMs);
      return Tries::Success;
    } else if (limits.shared) {
      ++noAnswer;
    } else {
      ++badAnswer;
    }
    if (noAnswer > limits.noAnswer) return Tries::NoAnswerLimit;
    if (badAnswer > limits.badAnswer || link.StopRequested()) return Tries::Failed;
  }
}

FlashStatus StatusOf(Tries t) {
  switch (t) {
    case Tries::Success:
      return FlashStatus::Done;
    case Tries::NoAnswerLimit:
      return FlashStatus::NoAnswer;
    case Tries::PortLost:
      return FlashStatus::PortLost;
    case Tries::Failed:
      break;
  }
  return FlashStatus::Refused;
}

// Flash addresses go out as three bytes, low byte first (bits 24-31 are not sent).
uint8_t AddressByte(uint32_t address, int k) {
  return static_cast<uint8_t>(address >> (8 * k));
}

// A keypad line: padded with spaces and cut to the display's 16 characters.
constexpr size_t kKeypadWidth = 16;
std::string KeypadLine(const std::string& text) {
  std::string line = text.substr(0, std::min(text.size(), kKeypadWidth));
  line.resize(kKeypadWidth, ' ');
  return line;
}

}  // namespace

bool Starter::ReadFlashByte(uint32_t address, uint8_t& value) {
  const uint8_t request[] = {kReadFlashCommand, AddressByte(address, 0), AddressByte(address, 1),
                             AddressByte(address, 2), kReadOneByte};
  const bool ok = Repeat(link_, request, kFlashTimeoutMs, kReadLimits, [&] {
                    return link_.AnswerLength() == 1 && link_.AnswerCode() == AnswerData;
                  }) == Tries::Success;
  if (ok) value = link_.AnswerData(0);
  return ok;
}

bool Starter::ReadFlashBlock(uint32_t address, uint8_t* block256) {
  const uint8_t request[] = {kReadFlashCommand, AddressByte(address, 0), AddressByte(address, 1),
                             AddressByte(address, 2), kReadWholeBlock};
  const bool ok = Repeat(link_, request, kFlashTimeoutMs, kReadLimits, [&] {
                    return link_.AnswerLength() == 0 && link_.AnswerCode() == AnswerData;
                  }) == Tries::Success;
  if (ok) std::memcpy(block256, link_.AnswerDataBytes().data(), kBlockSize);
  return ok;
}

bool Starter::ReadFlashChecksum(uint32_t address, uint16_t& sum, uint8_t& xorValue, uint8_t& rot) {
  // The three values over the 512 bytes from the address; the length goes out as three
  // bytes, low byte first.
  const uint8_t request[] = {kFlashChecksumCommand,
                             AddressByte(address, 0),
                             AddressByte(address, 1),
                             AddressByte(address, 2),
                             0x00,
                             0x02,
                             0x00};
  // An answer too short to carry all four bytes would leave the values to whatever an
  // earlier answer held, so it counts as a failure like any other.
  const bool ok = Repeat(link_, request, kFlashTimeoutMs, kChecksumLimits, [&] {
                    return link_.AnswerCode() == AnswerData && link_.AnswerDataCount() >= 4;
                  }) == Tries::Success;
  if (ok) {
    sum = static_cast<uint16_t>(link_.AnswerData(0) | (link_.AnswerData(1) << 8));
    xorValue = link_.AnswerData(2);
    rot = link_.AnswerData(3);
  }
  return ok;
}

FlashStatus Starter::EraseFlash(uint8_t sector) {
  const uint8_t request[] = {kEraseFlashCommand, sector, kEraseFlashCommand, kEraseFlashCommand};
  return StatusOf(Repeat(link_, request, kEraseTimeoutMs, kEraseLimits,
                         [&] { return link_.AnswerCode() == AnswerAck; }));
}

FlashStatus Starter::WriteFlashBlock(uint32_t address, const uint8_t* data256) {
  // Blocks start at a multiple of 256: only bits 8 to 23 of the address are sent.
  std::array<uint8_t, 3 + kBlockSize> request{};
  request[0] = kWriteFlashCommand;
  request[1] = AddressByte(address, 1);
  request[2] = AddressByte(address, 2);
  std::memcpy(&request[3], data256, kBlockSize);
  return StatusOf(Repeat(link_, request, kFlashTimeoutMs, kReadLimits,
                         [&] { return link_.AnswerCode() == AnswerData; }));
}

bool Starter::ReadDataBlock(uint8_t memory, uint16_t address, uint8_t* block256) {
  if (memory > kMaxReadMemory) return false;
  const uint8_t request[] = {static_cast<uint8_t>(kReadDataCommand + memory),
                             static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
                             0xFF};
  const bool ok = Repeat(link_, request, kSettingsTimeoutMs, kReadLimits, [&] {
                    return link_.AnswerLength() == 0 && link_.AnswerCode() == AnswerData;
                  }) == Tries::Success;
  if (ok) std::memcpy(block256, link_.AnswerDataBytes().data(), kBlockSize);
  return ok;
}

FlashStatus Starter::WriteDataBlock(uint8_t memory, uint16_t address, const uint8_t* data256) {
  if (memory > kMaxWriteMemory) return FlashStatus::Refused;
  std::array<uint8_t, 3 + kBlockSize> request{};
  request[0] = static_cast<uint8_t>(kWriteDataCommand + memory);
  request[1] = static_cast<uint8_t>(address);
  request[2] = static_cast<uint8_t>(address >> 8);
  std::memcpy(&request[3], data256, kBlockSize);
  return StatusOf(Repeat(link_, request, kSettingsTimeoutMs, kReadLimits,
                         [&] { return link_.AnswerCode() == AnswerAck; }));
}

bool Starter::IdentifyStarter() {
  link_.SendRequest(kIdentifyRequest);
  return link_.ReceiveAnswer(kFlashTimeoutMs) == ReceiveResult::Answer;
}

Handshake Starter::ConnectStarter(bool anyBoard) {
  const bool firstVariant = ports_.LinkMode < linkmode::kSecond9600;
  const auto& sync = firstVariant ? kSyncFirstVariant : kSyncSecondVariant;
  link_.SendRequest(sync);
  if (link_.ReceiveAnswer(kFlashTimeoutMs) != ReceiveResult::Answer)
    return ports_.NextLinkMode() ? Handshake::NoConnection : Handshake::PortLost;
  // The first variant acknowledges and tells nothing more about the board.
  if (firstVariant && link_.AnswerCode() == AnswerAck) {
    PanelHalf = ProgramHalf::First;
    return Handshake::Connected;
  }
  if (firstVariant || link_.AnswerCode() != AnswerData)
    return ports_.NextLinkMode() ? Handshake::WrongAnswer : Handshake::PortLost;
  const uint8_t flags = link_.AnswerData(0);
  if (flags & kFlagBadFlash) return Handshake::WrongAnswer;
  PanelHalf = (flags & kFlagSecondHalf) != 0 ? ProgramHalf::Second : ProgramHalf::First;
  // A 24 MHz panel needs the second program half; a one-half file cannot serve it.
  if (PanelHalf == ProgramHalf::Second && !anyBoard)
    return ports_.NextLinkMode() ? Handshake::NoConnection : Handshake::PortLost;
  if (ports_.LinkMode == linkmode::kSecond9600 && ports_.TryFastSpeeds) {
    link_.SendRequest(kSpeedRequest);
    if (link_.ReceiveAnswer(kFlashTimeoutMs) != ReceiveResult::Answer ||
        link_.AnswerCode() != AnswerData) {
      return Handshake::NoConnection;
    }
    const uint8_t offer = link_.AnswerData(0);
    if (offer == 0) {
      ports_.LinkMode = linkmode::kSecond38400;
    } else if (offer == 1 || offer == 2) {
      ports_.LinkMode = linkmode::kSecond57600;
    } else if (offer == 3) {
      return Handshake::NoConnection;
    }
    // The Starter changes speed as soon as it has answered: no pause here.
    if (!ports_.ApplyLinkSpeed()) return Handshake::PortLost;
  }
  return Handshake::Connected;
}

bool Starter::RestartPanel() {
  bool connected = false;
  for (int attempt = 0; attempt < kRestartHandshakes && !connected; ++attempt) {
    const Handshake result = ConnectStarter(true);
    connected = result == Handshake::Connected;
    if (link_.StopRequested() || result == Handshake::PortLost) break;
  }
  if (!connected) return false;
  for (int attempt = 0; attempt < kRestartRequests; ++attempt) {
    link_.SendRequest(kRestartRequest);
    if (link_.ReceiveAnswer(kFlashTimeoutMs) == ReceiveResult::Answer &&
        link_.AnswerCode() == AnswerAck)
      break;
    if (link_.StopRequested()) break;
  }
  // The panel may restart before its acknowledgement gets out: the handshake decides.
  return true;
}

void Starter::ShowPanelText(const std::string& upper, const std::string& lower, bool banner) {
  if (!PanelTextEnabled) return;
  std::string request;
  if (upper.empty() && lower.empty()) {
    request = {kKeypadCommand, 0x02, 0x72, 0x66};
  } else if (upper.empty()) {
    request = std::string{kKeypadCommand, 0x11, 0x7D} + KeypadLine(lower);
  } else if (lower.empty()) {
    request = std::string{kKeypadCommand, 0x11, 0x7C} + KeypadLine(upper);
  } else {
    request = std::string{kKeypadCommand, 0x22, static_cast<char>(banner ? 0x73 : 0x74), '\xFF'} +
              KeypadLine(upper) + KeypadLine(lower);
  }
  link_.SendRequest(std::span(reinterpret_cast<const uint8_t*>(request.data()), request.size()));
  link_.ReceiveAnswer(kFlashTimeoutMs);
}

}  // namespace tavrino
