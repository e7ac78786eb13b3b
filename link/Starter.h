// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "firmware/FirmwareImage.h"
#include "link/Link.h"
#include "serial/PortChoice.h"

namespace tavrino {

// What one handshake with the Starter came to.
enum class Handshake : uint8_t {
  Connected = 0,
  NoConnection = 1,  // no usable answer; the link mode has moved on
  WrongAnswer = 2,   // an answer of the wrong kind, or a Starter that cannot work its flash
  // The port could not be set to the next speed (it went away, or the system refused): no
  // handshake can follow on it.
  PortLost = 3,
};

// What an erase or a block write came to.
enum class FlashStatus : uint8_t {
  Done = 0,
  NoAnswer = 1,  // the panel stopped answering
  Refused = 2,   // the panel refused, or Stop
  PortLost = 3,  // the serial line went away under the command
};

// The Starter's command set: each command one request answered by one answer, with its
// own time-out, success rule and retry limits.
class Starter {
 public:
  Starter(Link& link, PortChoice& ports) : link_(link), ports_(ports) {}

  bool ReadFlashByte(uint32_t address, uint8_t& value);
  bool ReadFlashBlock(uint32_t address, uint8_t* block256);
  bool ReadFlashChecksum(uint32_t address, uint16_t& sum, uint8_t& xorValue, uint8_t& rot);
  FlashStatus EraseFlash(uint8_t sector);
  FlashStatus WriteFlashBlock(uint32_t address, const uint8_t* data256);
  bool ReadDataBlock(uint8_t memory, uint16_t address, uint8_t* block256);
  // Refused also for a memory number the command code cannot carry.
  FlashStatus WriteDataBlock(uint8_t memory, uint16_t address, const uint8_t* data256);
  // One attempt: sends 0x61 x4 and receives with 3000 ms. The answer stays in the Link's
  // answer (code, data 0 = flash type, data 1 = Starter version).
  bool IdentifyStarter();
  bool RestartPanel();
  void ShowPanelText(const std::string& upper, const std::string& lower, bool banner);
  // Connected, no connection, wrong answer, or the port lost at a speed change. anyBoard:
  // a panel of either board may connect (the file has both halves, or no file is written);
  // otherwise a 24 MHz panel is not taken. Sets PanelHalf from the answer.
  Handshake ConnectStarter(bool anyBoard);

  Link& link() { return link_; }
  PortChoice& ports() { return ports_; }

  bool PanelTextEnabled = false;
  // The program half the connected panel's board runs, as the last handshake told it.
  ProgramHalf PanelHalf = ProgramHalf::First;
  // The 24 MHz board, which runs the second half: the records keep it as this flag.
  bool OnSecondHalf() const { return PanelHalf == ProgramHalf::Second; }

 private:
  Link& link_;
  PortChoice& ports_;
};

}  // namespace tavrino
