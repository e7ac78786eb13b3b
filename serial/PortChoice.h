// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "serial/SerialPort.h"

namespace tavrino {

// The link modes: the port's speed and the greeting variant the Starter is met with. Modes
// of the first variant come first; the last is the Starter updater's.
namespace linkmode {
inline constexpr uint16_t kFirst9600 = 0;
inline constexpr uint16_t kFirst38400 = 1;
inline constexpr uint16_t kFirst57600 = 2;
inline constexpr uint16_t kSecond9600 = 3;
inline constexpr uint16_t kSecond38400 = 4;
inline constexpr uint16_t kSecond57600 = 5;
inline constexpr uint16_t kUpdater19200 = 6;
}  // namespace linkmode

// What the port choice asks of the person and shows in the window. The run layer passes
// it on to the front end; the serial layer knows no front end.
class PortChoiceView {
 public:
  virtual ~PortChoiceView() = default;
  // The modal port dialog: available[n - 1] tells whether COM n can be chosen. True with
  // the port and the Fast RS box when confirmed.
  virtual bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                                bool& tryFastSpeeds) = 0;
  // The port and speed after every speed change (" COM3 9600 bps"), opened or not.
  virtual void ShowPortSpeed(const std::string& text) = 0;
};

// The chosen port, the "&Fast RS" choice and the link mode that selects the speed.
class PortChoice {
 public:
  PortChoice(SerialPort& port, PortChoiceView& view) : port_(port), view_(view) {}

  // Shows the port dialog only when no port is chosen yet, then opens the port at the
  // speed of LinkMode.
  bool ChoosePort();
  // Sets the port to the speed of LinkMode: the port that is open keeps being held and
  // only changes its speed. False when the port is not (or no longer) open at that speed.
  bool ApplyLinkSpeed();
  // 1, 2, 3, 4, 5, 1, ...; modes 0 and 6 are left and never re-entered.
  bool NextLinkMode();

  static uint16_t Divisor(uint16_t linkMode);
  static uint32_t Speed(uint16_t linkMode) { return 115200u / Divisor(linkMode); }
  // " COM3 9600 bps"
  static std::string StatusText(uint16_t portNumber, uint16_t linkMode);

  uint16_t PortNumber = 0;  // 1..4, 0 = none chosen
  bool TryFastSpeeds = false;
  uint16_t LinkMode = linkmode::kFirst9600;
  // Why each port did not open when the dialog was last prepared (None where it opened).
  std::array<SerialBackend::OpenError, 4> LastProbe{};

 private:
  SerialPort& port_;
  PortChoiceView& view_;
};

}  // namespace tavrino
