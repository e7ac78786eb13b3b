// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <vector>

namespace tavrino {

inline constexpr uint32_t kFirmwareImageSize = 0xD8000;
inline constexpr uint32_t kHalfSize = 0x60000;          // one program half, trailer included
inline constexpr uint32_t kProgramBytes = 0x5FFFC;      // program bytes before the trailer
inline constexpr uint32_t kSettingsAreaBase = 0xC0000;  // three 32 KiB work areas follow
inline constexpr uint32_t kSettingsAreaSize = 0x8000;
// Every program half carries its version record here: five characters and a language
// code, or the signature 00 00 "QZ17" with the record in the six bytes behind it.
inline constexpr uint32_t kVersionRecordOffset = 0x12000;
inline constexpr uint32_t kVersionRecordSize = 6;
inline constexpr char kVersionRecordSignature[] = {0, 0, 'Q', 'Z', '1', '7'};

// The program half a panel runs: the 12 MHz board the first, the 24 MHz board the second.
// A file with one half serves either board from that half.
enum class ProgramHalf : uint8_t { First = 0, Second = 1 };

// The loaded program halves and the three settings work areas, in one array that lives
// for the whole program.
class FirmwareImage {
 public:
  FirmwareImage() : bytes_(kFirmwareImageSize, 0) {}

  // Copy into / out of the image. An access that does not lie wholly inside the array
  // is refused (false) and moves no byte.
  bool ImageStore(uint32_t offset, const uint8_t* source, uint32_t count);
  bool ImageLoad(uint32_t offset, uint8_t* destination, uint32_t count) const;

  // Reads program bytes for a panel that runs `half`: from half 2 only when the file has
  // two halves. Refused like ImageLoad when the bytes do not lie inside the image, and for
  // a negative offset.
  bool ReadProgramBytes(ProgramHalf half, int32_t offset, uint8_t* destination,
                        uint32_t count) const;
  // One program byte; 0 for an offset outside the image.
  uint8_t ProgramByte(ProgramHalf half, int32_t offset) const;

  const uint8_t* data() const { return bytes_.data(); }
  uint8_t* data() { return bytes_.data(); }

  bool FileHasTwoHalves = false;  // set by loading the file

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace tavrino
