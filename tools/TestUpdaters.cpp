// SPDX-License-Identifier: GPL-2.0-or-later
#include "tools/TestUpdaters.h"

#include <algorithm>
#include <system_error>

#include "firmware/Packer.h"
#include "tools/TestUpdaterData.h"

namespace tavrino::test_updaters {

namespace {

std::vector<uint8_t> Assemble(const ImagePlan& plan) {
  std::vector<uint8_t> image(kTestImageSize, 0xFF);
  size_t at = 0;
  for (const Segment& segment : plan.segments) {
    // The generator checks the lengths; a plan that would not fit is cut, never overrun.
    const size_t n = std::min(segment.size(), image.size() - at);
    std::copy_n(segment.begin(), n, image.begin() + static_cast<ptrdiff_t>(at));
    at += n;
  }
  return image;
}

}  // namespace

std::vector<TestImage> TestImages() {
  std::vector<TestImage> images;
  for (const ImagePlan& plan : kImagePlans) {
    images.push_back({plan.flashType, std::string(plan.chip) + ".bin", Assemble(plan)});
  }
  return images;
}

std::string WriteTestImages(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return "cannot make " + folder.string() + ": " + ec.message();
  for (const TestImage& image : TestImages()) {
    std::string error;
    if (!WriteFileAtomically((folder / image.fileName).string(), image.bytes, error)) return error;
  }
  return {};
}

}  // namespace tavrino::test_updaters
