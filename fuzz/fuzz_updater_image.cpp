// SPDX-License-Identifier: GPL-2.0-or-later
// The Starter updater image check against any bytes: an image taken must be whole, name its
// chip in its banner line (in any case, as the check compares it) and, unless test images
// are allowed, carry no test mark there in any case; a sums list of any form must never be
// read past its end.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "link/FlashChip.h"
#include "link/UpdaterImages.h"

using namespace tavrino;

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The banner's line as the maker lays it out: after two CR LF at its offset, up to the next
// CR LF; empty when there is none.
std::string BannerOf(const std::vector<uint8_t>& image) {
  const std::string text(image.begin(), image.end());
  const size_t from = kUpdaterBannerAt + 4;
  if (text.size() < from || text.compare(kUpdaterBannerAt, 4, "\r\n\r\n") != 0) return {};
  const size_t end = text.find("\r\n", from);
  return end == std::string::npos ? std::string() : text.substr(from, end - from);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const std::vector<std::string_view> kChips = [] {
    std::vector<std::string_view> chips;
    for (const FlashChip& chip : AllFlashChips())
      if (chip.updaterChip != nullptr) chips.emplace_back(chip.updaterChip);
    return chips;
  }();
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
    const std::string banner = Lower(BannerOf(image));
    if (banner.find(Lower(chip)) == std::string::npos) std::abort();
    if (!allowTest && banner.find(Lower(kTestImageMark)) != std::string::npos) std::abort();
  }
  // The same bytes read as a sums list.
  const std::string_view sums(reinterpret_cast<const char*>(data), size);
  CheckListedSum(image, sums, UpdaterFileName(chip));
  return 0;
}
