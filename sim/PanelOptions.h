// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The command line of tavrino-panel, and building the panel it describes.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimulatedPanel.h"

namespace tavrino::sim {

struct PanelOptions {
  std::string link;  // where the pseudo-terminal's slave is linked
  PanelConfig config;
  Faults faults;
  PanelTiming timing;
  std::string programFile;  // raw image of 0x5FFFC or 0x60000 bytes
  std::string programVersion = "1.04.01";
  uint8_t programLanguage = 1;
  bool signature = false;
  bool blank = false;      // no program at all
  int settingsFormat = 0;  // 103, 104, or 0: as the program's version suggests
  std::string statePath;
  std::string transcriptPath;
  bool help = false;
  // Options that shape the panel itself; a state file that exists takes their place.
  std::vector<std::string> panelOptionsGiven;
};

// Fills a fresh PanelOptions. False with a message for an unknown option, a missing or bad
// value, or no --link.
bool ParsePanelOptions(const std::vector<std::string>& args, PanelOptions& options,
                       std::string& error);
std::string PanelUsage();

// Sets up a fresh panel as the options say (program, settings, configuration).
bool BuildPanel(const PanelOptions& options, SimulatedPanel& panel, std::string& error);

}  // namespace tavrino::sim
