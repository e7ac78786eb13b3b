// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "frontend/FrontEnd.h"
#include "serial/PortChoice.h"

namespace tavrino {

// The port choice's dialog and its port-and-speed text, both the front end's own.
class FrontEndPortView : public PortChoiceView {
 public:
  explicit FrontEndPortView(FrontEnd& ui) : ui_(ui) {}
  bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                        bool& tryFastSpeeds) override {
    return ui_.ChoosePortDialog(available, port, tryFastSpeeds);
  }
  void ShowPortSpeed(const std::string& text) override { ui_.ShowPortSpeed(text); }

 private:
  FrontEnd& ui_;
};

}  // namespace tavrino
