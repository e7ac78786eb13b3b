// Assembles the built-in updater images from their segments and hands out their bytes.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "link/StarterImages.h"
#include "link/StarterUpdate.h"

namespace tavrino {

namespace {

using Image = std::array<uint8_t, kStarterImageSize>;
constexpr int kInternalErrorExit = 70;  // EX_SOFTWARE

[[noreturn]] void InternalError(const char* what, unsigned value) {
  std::fprintf(stderr, "Tavrino: internal error: %s %u\n", what, value);
  std::exit(kInternalErrorExit);
}

const starter_images::ImagePlan* FindPlan(uint8_t flashType) {
  for (const auto& plan : starter_images::kImagePlans) {
    if (plan.flashType == flashType) return &plan;
  }
  return nullptr;
}

Image Assemble(const starter_images::ImagePlan& plan) {
  Image image;
  image.fill(0xFF);
  size_t at = 0;
  for (const auto& segment : plan.segments) {
    if (segment.size() > image.size() - at)
      InternalError("updater image too long, type", plan.flashType);
    std::copy(segment.begin(), segment.end(), image.begin() + at);
    at += segment.size();
  }
  if (at != plan.used) InternalError("updater image of the wrong length, type", plan.flashType);
  return image;
}

const Image& ImageFor(const starter_images::ImagePlan& plan) {
  static const auto images = [] {
    std::array<Image, starter_images::kImageCount> all{};
    for (size_t k = 0; k < all.size(); ++k) all[k] = Assemble(starter_images::kImagePlans[k]);
    return all;
  }();
  return images[static_cast<size_t>(&plan - starter_images::kImagePlans)];
}

}  // namespace

bool HasStarterImage(uint8_t flashType) {
  return FindPlan(flashType) != nullptr;
}

uint8_t SelectStarterImage(uint8_t flashType, uint16_t position) {
  const auto* plan = FindPlan(flashType);
  if (plan == nullptr) InternalError("no Starter updater image for flash type", flashType);
  if (position >= kStarterImageSize)
    InternalError("updater image position out of range:", position);
  return ImageFor(*plan)[position];
}

}  // namespace tavrino
