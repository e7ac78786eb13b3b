// SPDX-License-Identifier: GPL-2.0-or-later
// The .17 loader against any file: the input as it is, or packed into one or two program
// halves with good trailers (so that the descrambling, the check and the version record
// are reached, not only the size check), with one byte changed where the input says.
// A load either checks good with a version of its record, or is rejected; never a crash.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/FirmwareFile.h"
#include "firmware/FirmwareImage.h"
#include "firmware/Packer.h"
#include "fuzz/FuzzHost.h"

using namespace tavrino;

namespace {

std::string FilePath() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tavrino-fuzz-" +
         std::to_string(::getpid()) + ".17";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static const std::string path = FilePath();
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
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
  }

  fuzz::FuzzHost env;
  FirmwareImage image;
  FirmwareFile loader(image, env.host);
  loader.FirmwareFileName = path;
  const bool loaded = loader.OpenFile(false);
  const bool packed = mode % 3 != 0 && size != 0;
  if (packed && !(mode & 0x80) && !loaded) std::abort();  // a good file must load
  if (packed && (mode & 0x80) && loaded) std::abort();    // a changed bit must not
  if (loaded && loader.FileVersion.size() != 3) std::abort();
  return 0;
}
