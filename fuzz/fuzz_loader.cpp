// SPDX-License-Identifier: GPL-2.0-or-later
// The .17 loader against any file's bytes: the input as it is, or packed into one or two
// program halves with good trailers (so that the descrambling, the check and the version
// record are reached, not only the size check), with one byte changed where the input says.
// The version is read from the half the input names. A load either checks good with a
// version of its record, or is rejected; never a crash.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "firmware/FirmwareFile.h"
#include "firmware/FirmwareImage.h"
#include "firmware/Packer.h"

using namespace tavrino;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t mode = data[0];
  const uint32_t flip = (data[1] | (data[2] << 8) | (data[3] << 16)) % (2 * kHalfSize);
  data += 4;
  size -= 4;

  std::vector<uint8_t> file;
  if (mode % 3 == 0 || size == 0) {
    file.assign(data, data + size);
  } else {
    std::vector<std::vector<uint8_t>> halves(mode % 3);
    for (auto& half : halves) {
      half.assign(kProgramBytes, 0xFF);
      for (size_t i = 0; i < half.size(); ++i) half[i] = data[i % size];
    }
    std::string error;
    if (!PackFirmware(halves, nullptr, file, error)) std::abort();
    if (mode & 0x80) file[flip % file.size()] ^= 0x01;  // one bit the trailer must catch
  }

  static FirmwareImage image;  // large: made once, overwritten only by a good load
  FirmwareFile loader(image);
  ReadWatcher quiet;
  const ProgramHalf half = (mode & 0x40) ? ProgramHalf::Second : ProgramHalf::First;
  const bool loaded = loader.LoadBytes(file.data(), file.size(), "fuzz.17", half, quiet) ==
                      FirmwareFile::Result::Loaded;
  const bool packed = mode % 3 != 0 && size != 0;
  if (packed && !(mode & 0x80) && !loaded) std::abort();  // a good file must load
  if (packed && (mode & 0x80) && loaded) std::abort();    // a changed bit must not
  if (loaded && (loader.FileVersion.size() != 3 || loader.FirmwareFileName != "fuzz.17"))
    std::abort();
  if (loaded && image.FileHasTwoHalves != (file.size() == 2 * kHalfSize)) std::abort();
  return 0;
}
