// SPDX-License-Identifier: GPL-2.0-or-later
// The command set of the Starter, the updater and the running program, from the panel's side.
#include <algorithm>

#include "sim/PanelFlash.h"
#include "sim/PanelImages.h"
#include "sim/PanelReply.h"

namespace tavrino::sim {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kSync1 = {0x1B, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
const Bytes kSync2 = {0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
const Bytes kSpeedRequest = {0x14, 0x55, 0xAA, 0x41};
const Bytes kIdentify = {0x61, 0x61, 0x61, 0x61};
const Bytes kRestart = {0x67, 0x68, 0x69, 0x6A};
const Bytes kUpdaterHandshake = {0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};

constexpr uint8_t kText = 0x21;
constexpr uint8_t kReadFlash = 0x62;
constexpr uint8_t kChecksum = 0x64;
constexpr uint8_t kWritePage = 0x65;
constexpr uint8_t kErase = 0x66;
constexpr uint8_t kReadSettings = 0x70;
constexpr uint8_t kWriteSettings = 0x80;
constexpr size_t kBlockRequestSize = 259;  // code, two address bytes, 256 data bytes

uint32_t Address24(const Bytes& p, size_t at) {
  return static_cast<uint32_t>(p[at]) | static_cast<uint32_t>(p[at + 1]) << 8 |
         static_cast<uint32_t>(p[at + 2]) << 16;
}

// Keypad characters for the transcript: control bytes would break its lines.
std::string Printable(std::string text) {
  for (char& c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '.';
  }
  return text;
}

SimulatedPanel::Reply Answer(uint8_t code, Bytes data, std::string what, std::string result = "") {
  SimulatedPanel::Reply r;
  r.answer = true;
  r.code = code;
  r.data = std::move(data);
  r.what = std::move(what);
  r.result = std::move(result);
  return r;
}

SimulatedPanel::Reply Silent(std::string what, std::string result) {
  SimulatedPanel::Reply r;
  r.what = std::move(what);
  r.result = std::move(result);
  return r;
}

SimulatedPanel::Reply Refuse(std::string what, std::string why) {
  return Answer(kAnswerError, {0}, std::move(what), "refused: " + why);
}

SimulatedPanel::Reply NotAccepted(const Bytes& p) {
  return Answer(kAnswerBadCommand, {0},
                "command " + HexNumber(p[0], 2) + " (" + std::to_string(p.size()) + " bytes)",
                "not a command the Starter knows");
}

}  // namespace

SimulatedPanel::Reply SimulatedPanel::Execute(const std::vector<uint8_t>& p) {
  switch (mode_) {
    case Mode::Updater:
      if (p == kUpdaterHandshake) {
        Reply r = Answer(kAnswerAck, {0}, "UpdaterHandshake", "installing Starter 3.1 eng");
        r.after = After::FinishInstall;
        return r;
      }
      return Silent("command " + HexNumber(p[0], 2),
                    "ignored: the updater waits for its handshake");
    case Mode::Program:
      if (p == kSync1 || p == kSync2) {
        mode_ = Mode::Starter;  // the sync catches the panel in its Starter
        Reply r = ExecuteSync(p);
        r.result = "the Starter takes over; " + r.result;
        return r;
      }
      return Silent("command " + HexNumber(p[0], 2), "ignored: the program runs");
    case Mode::Starter:
      break;
  }
  return ExecuteStarter(p);
}

SimulatedPanel::Reply SimulatedPanel::ExecuteStarter(const std::vector<uint8_t>& p) {
  const uint8_t command = p[0];
  if (p == kSync1 || p == kSync2) return ExecuteSync(p);
  if (p == kIdentify)
    return Answer(kAnswerData, {config_.flashType, config_.starterVersion}, "Identify");
  if (p == kRestart) {
    Reply r = Answer(kAnswerAck, {0}, "Restart", "restarting");
    r.after = After::Restart;
    return r;
  }
  if (p == kSpeedRequest) {
    // Only the Starters of the newer handshake know the faster speeds.
    if (config_.firstHandshakeVariant) return NotAccepted(p);
    Reply r = Answer(kAnswerData, {config_.speedAnswer}, "SpeedRequest");
    if (config_.speedAnswer <= 2) {
      r.after = After::SwitchBaud;
      r.afterBaud = config_.speedAnswer == 0 ? 38400 : 57600;
      r.result = "then listening at " + std::to_string(r.afterBaud) + " bit/s";
    } else {
      r.result = "speed unchanged";
    }
    return r;
  }
  switch (command) {
    case kReadFlash:
    case kChecksum:
    case kWritePage:
    case kErase:
      return ExecuteFlash(p);
    case kText:
      return ExecuteText(p);
    default:
      break;
  }
  if ((command & 0xF0) == kReadSettings || (command & 0xF0) == kWriteSettings)
    return ExecuteSettings(p);
  return NotAccepted(p);
}

SimulatedPanel::Reply SimulatedPanel::ExecuteSync(const std::vector<uint8_t>& p) {
  const bool first = p == kSync1;
  const std::string what = first ? "Sync1" : "Sync2";
  if (first != config_.firstHandshakeVariant)
    return Silent(what, "ignored: this Starter answers the other handshake");
  if (first) return Answer(kAnswerAck, {0}, what);
  const uint8_t flags =
      static_cast<uint8_t>((config_.board24MHz ? 0x02 : 0) | (config_.badFlashVersion ? 0x04 : 0));
  return Answer(kAnswerData, {flags}, what);
}

SimulatedPanel::Reply SimulatedPanel::ExecuteFlash(const std::vector<uint8_t>& p) {
  const uint8_t command = p[0];
  if (command == kReadFlash && p.size() == 5) {
    const uint32_t address = Address24(p, 1);
    const std::string what =
        "ReadFlash " + HexNumber(address, 5) + " count " + std::to_string(p[4]);
    if (p[4] > 1) return Refuse(what, "count must be 0 (256 bytes) or 1");
    const uint32_t count = p[4] == 1 ? 1 : 256;
    if (address + count > kFlashSize) return Refuse(what, "beyond the flash");
    const auto from = flash_.begin() + address;
    return Answer(kAnswerData, Bytes(from, from + count), what);
  }
  if (command == kChecksum && p.size() == 7) {
    const uint32_t address = Address24(p, 1);
    const uint32_t length = Address24(p, 4);
    const std::string what =
        "Checksum " + HexNumber(address, 5) + " length " + HexNumber(length, 5);
    if (length == 0 || address + length > kFlashSize) return Refuse(what, "beyond the flash");
    const BlockCheck c = ComputeBlockCheck(flash_.data() + address, length);
    Reply r = Answer(
        kAnswerData,
        {static_cast<uint8_t>(c.sum & 0xFF), static_cast<uint8_t>(c.sum >> 8), c.xorValue, c.rot},
        what);
    r.workUs = timing_.checksumUs;
    return r;
  }
  if (command == kErase && p.size() == 4 && p[2] == 0x66 && p[3] == 0x66) {
    const uint8_t sector = p[1];
    const std::string what = "Erase sector " + std::to_string(sector);
    if (sector == kStarterSector) return Refuse(what, "sector 7 holds the Starter");
    if (sector > kStarterSector) return Refuse(what, "no such sector");
    EraseSector(flash_, sector);
    Reply r = Answer(kAnswerAck, {0}, what);
    r.workUs = timing_.sectorEraseUs;
    return r;
  }
  if (command == kWritePage && p.size() == kBlockRequestSize) {
    const uint32_t address = static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
    const std::string what = "WritePage " + HexNumber(address, 5);
    if (address >= kFlashSize) return Refuse(what, "beyond the flash");
    if (address / kSectorSize == kStarterSector) return Refuse(what, "sector 7 holds the Starter");
    Reply r = ProgramPage(flash_, config_.flashType, address, p.data() + 3)
                  ? Answer(kAnswerData, {0}, what, SpoilWrite(0, address, flash_, 0))
                  : Refuse(what, "bits at 0 cannot be set again without an erase");
    r.workUs = timing_.pageWriteUs;
    return r;
  }
  return NotAccepted(p);
}

SimulatedPanel::Reply SimulatedPanel::ExecuteSettings(const std::vector<uint8_t>& p) {
  const bool read = (p[0] & 0xF0) == kReadSettings;
  const uint8_t memory = p[0] & 0x0F;
  if (read ? (p.size() != 4 || p[3] != 0xFF) : p.size() != kBlockRequestSize) return NotAccepted(p);
  const uint32_t address = static_cast<uint32_t>(p[1]) | static_cast<uint32_t>(p[2]) << 8;
  const std::string what = std::string(read ? "ReadSettings" : "WriteSettings") + " memory " +
                           std::to_string(memory) + " " + HexNumber(address, 4);
  std::vector<uint8_t>* store = memory == 1 ? &memory1_ : memory == 2 ? &memory2_ : nullptr;
  if (!store) return Refuse(what, "no such memory");
  if (address < kMemoryBase || address + 256 > kMemoryBase + store->size())
    return Refuse(what, "outside the memory");
  const auto at = store->begin() + (address - kMemoryBase);
  if (read) return Answer(kAnswerData, Bytes(at, at + 256), what);
  std::copy(p.begin() + 3, p.end(), at);
  Reply r = Answer(kAnswerAck, {0}, what, SpoilWrite(memory, address, *store, kMemoryBase));
  r.workUs = timing_.settingsWriteUs;
  return r;
}

std::string SimulatedPanel::SpoilWrite(uint8_t memory, uint32_t address,
                                       std::vector<uint8_t>& store, uint32_t base) {
  Faults::SpoiledByte& spoil = faults_.spoil;
  if (spoil.times == 0 || spoil.memory != memory || spoil.address < address ||
      spoil.address >= address + 256)
    return {};
  if (spoil.times != Faults::kAlways) --spoil.times;
  store[spoil.address - base] ^= 0x01;
  return "byte " + HexNumber(spoil.address, memory == 0 ? 5 : 4) + " spoiled (fault)";
}

SimulatedPanel::Reply SimulatedPanel::ExecuteText(const std::vector<uint8_t>& p) {
  const size_t n = p.size();
  const auto line = [&p](size_t from) {
    return std::string(p.begin() + from, p.begin() + from + 16);
  };
  std::string entry;
  if (n == 4 && p[1] == 0x02 && p[2] == 0x72 && p[3] == 0x66) {
    keypadUpper_.clear();
    keypadLower_.clear();
    entry = "clear";
  } else if (n == 19 && p[1] == 0x11 && (p[2] == 0x7C || p[2] == 0x7D)) {
    const bool upper = p[2] == 0x7C;
    (upper ? keypadUpper_ : keypadLower_) = line(3);
    entry = (upper ? "upper:" : "lower:") + line(3);
  } else if (n == 36 && p[1] == 0x22 && (p[2] == 0x73 || p[2] == 0x74) && p[3] == 0xFF) {
    keypadUpper_ = line(4);
    keypadLower_ = line(20);
    entry = (p[2] == 0x73 ? "banner:" : "text:") + line(4) + "|" + line(20);
  } else {
    return NotAccepted(p);
  }
  keypadHistory_.push_back(entry);
  return Answer(kAnswerAck, {0}, "Text " + Printable(entry));
}

}  // namespace tavrino::sim
