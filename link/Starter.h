#pragma once
#include <cstdint>
#include <string>

#include "link/Link.h"
#include "serial/PortChoice.h"

namespace tavrino {

// Results of ConnectStarter.
inline constexpr uint8_t kConnected = 0;
inline constexpr uint8_t kNoConnection = 1;
inline constexpr uint8_t kWrongAnswer = 2;
// The port could not be set to the next speed (it went away, or the system refused): no
// handshake can follow on it.
inline constexpr uint8_t kPortLost = 3;
// Results of EraseFlash and WriteFlashBlock.
inline constexpr uint8_t kFlashDone = 0;
inline constexpr uint8_t kFlashNoAnswer = 1;
inline constexpr uint8_t kFlashRefused = 2;

// The Starter's command set: each command one request answered by one answer, with its
// own time-out, success rule and retry limits.
class Starter {
 public:
  // useSecondHalf is set here from the handshake and read by the firmware image;
  // fileHasTwoHalves is set by loading the firmware file. Both live in FirmwareImage.
  Starter(Link& link, PortChoice& ports, bool& useSecondHalf, const bool& fileHasTwoHalves)
      : UseSecondHalf(useSecondHalf),
        FileHasTwoHalves(fileHasTwoHalves),
        link_(link),
        ports_(ports) {}

  bool ReadFlashByte(uint32_t address, uint8_t& value);
  bool ReadFlashBlock(uint32_t address, uint8_t* block256);
  bool ReadFlashChecksum(uint32_t address, uint16_t& sum, uint8_t& xorValue, uint8_t& rot);
  uint8_t EraseFlash(uint8_t sector);  // 0 done, 1 no answer, 2 refused
  uint8_t WriteFlashBlock(uint32_t address, const uint8_t* data256);  // 0, 1, 2 as above
  bool ReadDataBlock(uint8_t memory, uint16_t address, uint8_t* block256);
  bool WriteDataBlock(uint8_t memory, uint16_t address, const uint8_t* data256);
  // One attempt: sends 0x61 x4 and receives with 3000 ms. The answer stays in the Link's
  // AnswerFrame (code, data 0 = flash type, data 1 = Starter version).
  bool IdentifyStarter();
  bool RestartPanel();
  void ShowPanelText(const std::string& upper, const std::string& lower, bool banner);
  // 0 connected, 1 no connection, 2 wrong answer, 3 port lost.
  uint8_t ConnectStarter(bool anyFile);

  Link& link() { return link_; }
  PortChoice& ports() { return ports_; }

  bool PanelTextEnabled = false;
  bool& UseSecondHalf;
  const bool& FileHasTwoHalves;

 private:
  Link& link_;
  PortChoice& ports_;
};

}  // namespace tavrino
