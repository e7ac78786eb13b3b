#pragma once
#include <cstdint>
#include <string>

#include "firmware/FirmwareImage.h"
#include "frontend/Host.h"

namespace tavrino {

// The three 32 KiB settings work areas at the end of the FirmwareImage, with their
// bound-checked access, the page sums and the 103 <-> 104 conversion of settings memory 1.
class SettingsAreas {
 public:
  SettingsAreas(FirmwareImage& image, Host& host) : image_(image), host_(host) {}

  // Copy count (0..255) bytes into / out of area 0..2 from offset on. An access whose end
  // passes 0x8000 shows "Error <area>w" / "Error <area>r", moves nothing, asks the
  // application to end, sets Failed() and returns false.
  bool WriteSettingsArea(uint8_t area, uint16_t offset, const uint8_t* source, uint16_t count);
  bool ReadSettingsArea(uint8_t area, uint16_t offset, uint8_t* destination, uint16_t count);

  // Recomputes the 64 page sums of memory 2 held in area 0 (offsets 0x4000..0x7FFF).
  void RefreshMemory2Sums();
  // Converts area 1 (memory 1, old layout) into area 2 (new layout) by the panel's and the
  // file's version codes: "103" -> "104" or "104" -> "103". Any other pair shows
  // "Internal error 1", asks the application to end, changes nothing and returns false.
  bool ConvertSettings(const std::string& panelVersion, const std::string& fileVersion);
  // Area 1 copied to area 2 unchanged (no conversion due).
  void CopyMemory1Unchanged();

  // An internal consistency error happened since the last Reset(); the run must not go on.
  bool Failed() const { return failed_; }
  void Reset() { failed_ = false; }

 private:
  FirmwareImage& image_;
  Host& host_;
  bool failed_ = false;
};

}  // namespace tavrino
