// SPDX-License-Identifier: GPL-2.0-or-later
// The Starter updater image check against any bytes: an image taken must be whole and
// name its chip; a sums list of any form must never be read past its end. (The test mark
// counts only in the banner line, so it is not looked for here in the whole image.)
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "link/UpdaterImages.h"

using namespace tavrino;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static constexpr std::array<std::string_view, 5> kChips = {"AT29C040A", "AM29F040B", "W29C040",
                                                             "M29F040B", "A29040B"};
  const uint8_t mode = data[0];
  const std::string_view chip = kChips[data[1] % kChips.size()];
  data += 2;
  size -= 2;
  // The input as it is, or filled out with 0xFF to an image's size.
  std::vector<uint8_t> image(data, data + size);
  if (mode & 1) image.resize(kUpdaterImageSize, 0xFF);
  const bool allowTest = (mode & 2) != 0;

  const std::string why = CheckUpdaterImage(image, chip, allowTest);
  if (why.empty()) {
    if (image.size() != kUpdaterImageSize) std::abort();
    const std::string text(image.begin(), image.end());
    if (text.find(chip) == std::string::npos) std::abort();
  }
  // The same bytes read as a sums list.
  const std::string_view sums(reinterpret_cast<const char*>(data), size);
  CheckListedSum(image, sums, UpdaterFileName(chip));
  return 0;
}
