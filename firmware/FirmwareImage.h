#pragma once
#include <cstdint>
#include <vector>

namespace tavrino {

inline constexpr uint32_t kFirmwareImageSize = 0xD8000;
inline constexpr uint32_t kHalfSize = 0x60000;          // one program half, trailer included
inline constexpr uint32_t kProgramBytes = 0x5FFFC;      // program bytes before the trailer
inline constexpr uint32_t kSettingsAreaBase = 0xC0000;  // three 32 KiB work areas follow
inline constexpr uint32_t kSettingsAreaSize = 0x8000;

// The loaded program halves and the three settings work areas, in one array that lives
// for the whole program.
class FirmwareImage {
 public:
  FirmwareImage() : bytes_(kFirmwareImageSize, 0) {}

  // Copy into / out of the image. An access that does not lie wholly inside the array
  // is refused (false) and moves no byte.
  bool ImageStore(uint32_t offset, const uint8_t* source, uint32_t count);
  bool ImageLoad(uint32_t offset, uint8_t* destination, uint32_t count) const;

  // Reads program bytes from the half that fits the panel: half 2 when the file has two
  // halves and the panel reported the 24 MHz board. Refused like ImageLoad when the bytes
  // do not lie inside the image, and for a negative offset.
  bool ReadProgramBytes(int32_t offset, uint8_t* destination, uint32_t count) const;
  // One program byte; 0 for an offset outside the image.
  uint8_t ProgramByte(int32_t offset) const;

  const uint8_t* data() const { return bytes_.data(); }
  uint8_t* data() { return bytes_.data(); }

  bool FileHasTwoHalves = false;  // set by loading the file
  bool UseSecondHalf = false;     // set by the Starter handshake

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace tavrino
