// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What a restore takes from a backup and what it writes of it. The settings go in as a
// Program run would have carried them over: the copies in sector 6 as its settings recovery
// writes them back (memory 2's page sums refreshed, memory 1 converted where the data codes
// differ), the memories as its conversion writes them, or exactly as kept where nothing is
// converted. A restore across 103 and 104 thus leaves the panel byte for byte as a Program
// run converting the same settings would have.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "settings/SettingsAreas.h"
#include "state/RecoveryRecord.h"

namespace tavrino {

struct BackupSettings {
  std::string dataCode;           // the settings' format ("103")
  std::vector<uint8_t> memories;  // memory 1 (32 KiB), then memory 2 (16 KiB)
  std::vector<uint8_t> copies;    // memory 2's copy, then memory 1's (48 KiB); empty: none kept
};

// The settings a file holds for a restore: a settings backup's, or those a finished update
// wrote. Empty when it holds them, else why not, short enough for a status line.
std::string SettingsOfRecord(const state::RecoveryRecord& record, BackupSettings& settings);

// Whether settings of data code `from` can go into a panel whose program has data code `to`:
// the same code, or 103 and 104 either way.
bool CodesMeet(const std::string& from, const std::string& to);
bool CodesConvert(const std::string& from, const std::string& to);

struct RestoreImages {
  std::vector<uint8_t> memories;  // memory 1, then memory 2 (48 KiB)
  std::vector<uint8_t> sector6;   // BootCopy, memory 2's copy, memory 1's copy (64 KiB)
};

// The images to write into a panel with data code panelCode; sector 6 only when bootCopy
// is given (its 16 KiB: the panel's program start). False when the work areas refused (the
// areas' own box has said so).
bool PrepareRestoreImages(SettingsAreas& areas, const BackupSettings& settings,
                          const std::string& panelCode, std::span<const uint8_t> bootCopy,
                          RestoreImages& images);

}  // namespace tavrino
