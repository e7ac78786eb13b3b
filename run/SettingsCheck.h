// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Reading the settings back after they were written. The panel's program is verified block
// by block, but its settings are the one part nobody can download again: a settings memory
// or a flash page that does not keep what it was given would otherwise go unnoticed until
// the panel misbehaves on site. So what was written is read again and compared: both
// settings memories byte for byte, and sector 6 (BootCopy and the settings copies) by the
// panel's check values of each 512-byte block. A difference is written again once from
// the images the recovery record keeps; one that stays is named by memory and address.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link/Starter.h"

namespace tavrino {

// What was written, as the recovery record keeps it; an empty image was not written.
struct WrittenSettings {
  // Sector 6 from 0x60000: BootCopy, memory 2's copy, memory 1's copy (64 KiB).
  std::span<const uint8_t> sector6;
  // Memory 1 (32 KiB), then memory 2 (16 KiB), each from address 0x8000.
  std::span<const uint8_t> memories;
  // The chip takes a page again only after its sector was erased.
  bool erasesSector6 = false;
};

struct SettingsCheckResult {
  enum class End {
    Same,      // the panel holds what was written (after one rewrite, where rewritten)
    Differs,   // it still differs after the rewrite: where says at what
    NoAnswer,  // the panel stopped answering (or the line went away)
    Refused,   // the panel refused the rewrite
    Stopped,   // Stop: not everything was compared
  };
  End end = End::Same;
  bool rewritten = false;
  // "memory 1 @0x8A13" or "FLASH @0x64A13": the first byte that differs.
  std::string where;
  // The same, for the keypad's 16 characters ("Error M1 @0x8A13").
  std::string keypad;
};

class SettingsCheck {
 public:
  // progress(done, total) is told after each comparison of the first pass; stopped() is
  // asked between exchanges.
  SettingsCheck(Starter& starter, std::function<bool()> stopped,
                std::function<void(int32_t, int32_t)> progress)
      : starter_(starter), stopped_(std::move(stopped)), progress_(std::move(progress)) {}

  SettingsCheckResult Run(const WrittenSettings& written);

  // The reads of one pass over what was written: 192 memory blocks, 128 check values.
  static int32_t Reads(const WrittenSettings& written);

 private:
  // One 256-byte memory block or one 512-byte flash block that differed.
  struct Place {
    uint8_t memory;  // 1 or 2; 0: sector 6
    uint32_t n;      // block number within the memory or the sector
  };
  using End = SettingsCheckResult::End;

  End Compare(const WrittenSettings& w, const std::vector<Place>& places,
              std::vector<Place>& differing, bool showProgress);
  End CompareMemoryBlock(const WrittenSettings& w, Place p, bool& same);
  End CompareFlashBlock(const WrittenSettings& w, Place p, bool& same);
  End Rewrite(const WrittenSettings& w, const std::vector<Place>& differing,
              std::vector<Place>& again);
  End Locate(const WrittenSettings& w, Place p, SettingsCheckResult& result);
  static std::vector<Place> Everything(const WrittenSettings& w);
  static std::vector<Place> WholeSector(const WrittenSettings& w);
  End Failed(bool refused = false) const;

  Starter& starter_;
  std::function<bool()> stopped_;
  std::function<void(int32_t, int32_t)> progress_;
  int32_t done_ = 0;
  int32_t total_ = 0;
};

}  // namespace tavrino
