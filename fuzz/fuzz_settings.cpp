// SPDX-License-Identifier: GPL-2.0-or-later
// The settings work areas from any panel contents: memory 1 and memory 2 as the panel
// might hold them (damaged or not), converted either way or copied, with the page sums
// refreshed, then accessed at offsets and counts taken from the input. A good version
// pair must always convert; a bad access must be refused, never carried out.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "settings/PageSums.h"
#include "settings/SettingsAreas.h"

using namespace tavrino;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static FirmwareImage image;  // large: made once, its settings areas filled anew each run
  SettingsAreas areas(image);
  const uint8_t mode = data[0];
  ++data;
  --size;
  // The panel's memories: memory 1 into area 1, memory 2 into area 0 from 0x4000 on,
  // the input repeated to fill them.
  std::vector<uint8_t> memory(kSettingsAreaSize + kSettingsAreaSize / 2, 0xFF);
  for (size_t i = 0; size > 0 && i < memory.size(); ++i) memory[i] = data[i % size];
  const std::vector<uint8_t> blank(kSettingsAreaSize, 0);
  for (uint32_t area = 0; area < SettingsAreas::kAreaCount; ++area)
    image.ImageStore(kSettingsAreaBase + area * kSettingsAreaSize, blank.data(), kSettingsAreaSize);
  image.ImageStore(kSettingsAreaBase + kSettingsAreaSize, memory.data(), kSettingsAreaSize);
  image.ImageStore(kSettingsAreaBase + 0x4000, memory.data() + kSettingsAreaSize,
                   kSettingsAreaSize / 2);

  switch (mode % 3) {
    case 0:
      if (!areas.ConvertSettings("103", "104") || areas.Failed()) std::abort();
      break;
    case 1:
      if (!areas.ConvertSettings("104", "103") || areas.Failed()) std::abort();
      break;
    default:
      areas.CopyMemory1Unchanged();
      break;
  }
  areas.RefreshMemory2Sums();
  if (areas.Failed()) std::abort();

  // Page sums of memory 2 as stored must be the sums of its pages.
  std::vector<uint8_t> area0(kSettingsAreaSize);
  image.ImageLoad(kSettingsAreaBase, area0.data(), kSettingsAreaSize);
  for (uint16_t page = 0; page < kMemory2Sums.pages; ++page) {
    uint16_t sum = 0;
    for (uint16_t i = 0; i < kMemory2Sums.PageLength(page); ++i)
      sum = static_cast<uint16_t>(sum + area0[kMemory2Sums.PageOffset(page) + i]);
    const size_t at = kMemory2Sums.sumsOffset + 2 * page;
    if (sum != static_cast<uint16_t>(area0[at] | (area0[at + 1] << 8))) std::abort();
  }

  // Accesses at offsets and counts from the input: past the end is refused and kept as the
  // fault of that access and area.
  uint8_t buffer[256] = {};
  for (size_t i = 0; i + 4 <= size && i < 64; i += 4) {
    const uint8_t area = data[i] % 4;
    const auto offset = static_cast<uint16_t>(data[i + 1] | (data[i + 2] << 8));
    const uint16_t count = data[i + 3];
    areas.Reset();
    const bool fits = area < SettingsAreas::kAreaCount && offset + count <= kSettingsAreaSize;
    const bool done = (i & 4) ? areas.WriteSettingsArea(area, offset, buffer, count)
                              : areas.ReadSettingsArea(area, offset, buffer, count);
    if (done != fits || areas.Failed() == fits) std::abort();
    const auto kind = (i & 4) ? SettingsFault::Kind::Write : SettingsFault::Kind::Read;
    if (!fits && !(areas.Fault() == SettingsFault{kind, area})) std::abort();
  }
  return 0;
}
