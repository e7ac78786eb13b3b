// SPDX-License-Identifier: GPL-2.0-or-later
#include "serial/PortChoice.h"

#include <array>

namespace tavrino {
namespace {

constexpr uint16_t kPortCount = 4;
// A failed greeting moves on to the next mode, round from 38400 bit/s of the first variant
// to 57600 of the second; 9600 of the first variant is where a run starts only.
constexpr uint16_t kFirstCycledMode = linkmode::kFirst38400;
constexpr uint16_t kLastCycledMode = linkmode::kSecond57600;

// Divisors of 115200 bit/s per link mode, in the order of the modes.
constexpr std::array<uint16_t, 7> kDivisorOfMode = {12, 3, 2, 12, 3, 2, 6};
constexpr uint16_t kDivisorOutOfRange = 12;

}  // namespace

uint16_t PortChoice::Divisor(uint16_t linkMode) {
  return linkMode < kDivisorOfMode.size() ? kDivisorOfMode[linkMode] : kDivisorOutOfRange;
}

std::string PortChoice::StatusText(uint16_t portNumber, uint16_t linkMode) {
  return " COM" + std::to_string(portNumber) + " " + std::to_string(Speed(linkMode)) + " bps";
}

bool PortChoice::ChoosePort() {
  if (PortNumber < 1 || PortNumber > kPortCount) {
    std::array<bool, kPortCount> available{};
    for (uint16_t n = 1; n <= kPortCount; ++n) {
      available[n - 1] = port_.PortAvailable(n);
      LastProbe[n - 1] = port_.LastOpenError();
    }
    uint16_t chosen = 0;
    bool tryFastSpeeds = true;  // the box is on each time the dialog opens
    if (!view_.ChoosePortDialog(available, chosen, tryFastSpeeds)) return false;
    // Only a port that opened may be chosen.
    // (The dialog may have given a port another device for this session: try it again.)
    if (chosen < 1 || chosen > kPortCount) return false;
    if (!available[chosen - 1] && !port_.PortAvailable(chosen)) return false;
    PortNumber = chosen;
    TryFastSpeeds = tryFastSpeeds;
  }
  return ApplyLinkSpeed();
}

bool PortChoice::ApplyLinkSpeed() {
  bool opened = port_.OpenPort(PortNumber, Divisor(LinkMode), 'N');
  view_.ShowPortSpeed(StatusText(PortNumber, LinkMode));
  return opened;
}

bool PortChoice::NextLinkMode() {
  LinkMode = LinkMode >= kLastCycledMode ? kFirstCycledMode : static_cast<uint16_t>(LinkMode + 1);
  return ApplyLinkSpeed();
}

}  // namespace tavrino
