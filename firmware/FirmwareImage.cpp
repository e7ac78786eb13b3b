// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware/FirmwareImage.h"

#include <cstring>

namespace tavrino {
namespace {

bool InsideImage(uint32_t offset, uint32_t count) {
  return offset <= kFirmwareImageSize && count <= kFirmwareImageSize - offset;
}

}  // namespace

bool FirmwareImage::ImageStore(uint32_t offset, const uint8_t* source, uint32_t count) {
  if (!InsideImage(offset, count)) return false;
  if (count != 0) std::memcpy(bytes_.data() + offset, source, count);
  return true;
}

bool FirmwareImage::ImageLoad(uint32_t offset, uint8_t* destination, uint32_t count) const {
  if (!InsideImage(offset, count)) return false;
  if (count != 0) std::memcpy(destination, bytes_.data() + offset, count);
  return true;
}

bool FirmwareImage::ReadProgramBytes(ProgramHalf half, int32_t offset, uint8_t* destination,
                                     uint32_t count) const {
  // A negative offset would otherwise reach back from half 2 into half 1.
  if (offset < 0) return false;
  uint32_t at = static_cast<uint32_t>(offset);
  if (FileHasTwoHalves && half == ProgramHalf::Second) {
    if (at > kFirmwareImageSize - kHalfSize) return false;
    at += kHalfSize;
  }
  return ImageLoad(at, destination, count);
}

uint8_t FirmwareImage::ProgramByte(ProgramHalf half, int32_t offset) const {
  uint8_t b = 0;
  ReadProgramBytes(half, offset, &b, 1);
  return b;
}

}  // namespace tavrino
