#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "frontend/FrontEnd.h"
#include "serial/SerialPort.h"

namespace tavrino {

// The chosen port, the "&Fast RS" choice and the link mode that selects the speed.
class PortChoice {
 public:
  PortChoice(SerialPort& port, FrontEnd& ui) : port_(port), ui_(ui) {}

  // Shows the port dialog only when no port is chosen yet, then opens the port at the
  // speed of LinkMode.
  bool ChoosePort();
  bool ApplyLinkSpeed();
  // 1, 2, 3, 4, 5, 1, ...; modes 0 and 6 are left and never re-entered.
  bool NextLinkMode();

  static uint16_t Divisor(uint16_t linkMode);
  static uint32_t Speed(uint16_t linkMode) { return 115200u / Divisor(linkMode); }
  // " COM3 9600 bps"
  static std::string StatusText(uint16_t portNumber, uint16_t linkMode);

  uint16_t PortNumber = 0;  // 1..4, 0 = none chosen
  bool FastRS = false;
  uint16_t LinkMode = 0;  // 0..6
  // Why each port did not open when the dialog was last prepared (None where it opened).
  std::array<SerialBackend::OpenError, 4> LastProbe{};

 private:
  SerialPort& port_;
  FrontEnd& ui_;
};

}  // namespace tavrino
