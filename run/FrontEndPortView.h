// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "frontend/FrontEnd.h"
#include "serial/PortChoice.h"

namespace tavrino {

// The port choice's dialog and its port-and-speed text, shown by the front end: the
// dialog as the front end's own, the text in panel 1 of the status bar.
class FrontEndPortView : public PortChoiceView {
 public:
  explicit FrontEndPortView(FrontEnd& ui) : ui_(ui) {}
  bool ChoosePortDialog(const std::array<bool, 4>& available, uint16_t& port,
                        bool& tryFastSpeeds) override {
    return ui_.ChoosePortDialog(available, port, tryFastSpeeds);
  }
  void ShowPortSpeed(const std::string& text) override { ui_.SetStatusPanel(1, text); }

 private:
  FrontEnd& ui_;
};

}  // namespace tavrino
