// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/SettingsCheck.h"

#include <algorithm>

#include "firmware/Checksum.h"
#include "run/FlashMap.h"
#include "run/RunTexts.h"

namespace tavrino {

namespace {

using namespace flashmap;

constexpr uint32_t kBlock = kSettingsBlock;
constexpr uint32_t kMemory2Offset = kMemory1Blocks * kBlock;  // in the memories' image
constexpr uint32_t kSector6Checks = kSector6Blocks * kWriteBlock / kChecksumBlock;
constexpr uint32_t kPagesPerCheck = kChecksumBlock / kWriteBlock;

uint32_t MemoryOffset(uint8_t memory, uint32_t n) {
  return (memory == 1 ? 0 : kMemory2Offset) + kBlock * n;
}

uint16_t MemoryAddress(uint32_t n) {
  return static_cast<uint16_t>(kMemoryBase + kBlock * n);
}

}  // namespace

int32_t SettingsCheck::Reads(const WrittenSettings& w) {
  return static_cast<int32_t>(Everything(w).size());
}

std::vector<SettingsCheck::Place> SettingsCheck::Everything(const WrittenSettings& w) {
  std::vector<Place> places;
  if (!w.memories.empty()) {
    for (uint32_t n = 0; n < kMemory1Blocks; ++n) places.push_back({1, n});
    for (uint32_t n = 0; n < kMemory2Blocks; ++n) places.push_back({2, n});
  }
  std::vector<Place> sector = WholeSector(w);
  places.insert(places.end(), sector.begin(), sector.end());
  return places;
}

std::vector<SettingsCheck::Place> SettingsCheck::WholeSector(const WrittenSettings& w) {
  std::vector<Place> places;
  if (!w.sector6.empty())
    for (uint32_t j = 0; j < kSector6Checks; ++j) places.push_back({0, j});
  return places;
}

SettingsCheck::End SettingsCheck::Failed(bool refused) const {
  if (stopped_()) return End::Stopped;
  return refused ? End::Refused : End::NoAnswer;
}

SettingsCheckResult SettingsCheck::Run(const WrittenSettings& w) {
  SettingsCheckResult result;
  const std::vector<Place> everything = Everything(w);
  done_ = 0;
  total_ = static_cast<int32_t>(everything.size());
  std::vector<Place> differing;
  result.end = Compare(w, everything, differing, true);
  if (result.end != End::Same || differing.empty()) return result;

  // Once, from the images: a cell that took its value the second time is worth knowing of,
  // but it holds the settings now.
  result.rewritten = true;
  std::vector<Place> again;
  result.end = Rewrite(w, differing, again);
  if (result.end != End::Same) return result;
  std::vector<Place> still;
  result.end = Compare(w, again, still, false);
  if (result.end != End::Same || still.empty()) return result;
  result.end = Locate(w, still.front(), result);
  return result;
}

SettingsCheck::End SettingsCheck::Compare(const WrittenSettings& w,
                                          const std::vector<Place>& places,
                                          std::vector<Place>& differing, bool showProgress) {
  for (const Place& p : places) {
    if (stopped_()) return End::Stopped;
    bool same = false;
    const End end = p.memory == 0 ? CompareFlashBlock(w, p, same) : CompareMemoryBlock(w, p, same);
    if (end != End::Same) return end;
    if (!same) differing.push_back(p);
    if (showProgress) progress_(++done_, total_);
  }
  return End::Same;
}

SettingsCheck::End SettingsCheck::CompareMemoryBlock(const WrittenSettings& w, Place p,
                                                     bool& same) {
  uint8_t block[kBlock];
  if (!starter_.ReadDataBlock(p.memory, MemoryAddress(p.n), block)) return Failed();
  same = std::equal(block, block + kBlock, w.memories.begin() + MemoryOffset(p.memory, p.n));
  return End::Same;
}

SettingsCheck::End SettingsCheck::CompareFlashBlock(const WrittenSettings& w, Place p, bool& same) {
  HalfChecksum panel;
  if (!starter_.ReadFlashChecksum(kBootCopyBase + kChecksumBlock * p.n, panel.sum, panel.xorValue,
                                  panel.rot))
    return Failed();
  same = panel == BlockChecksum(w.sector6.data() + kChecksumBlock * p.n, kChecksumBlock);
  return End::Same;
}

SettingsCheck::End SettingsCheck::Rewrite(const WrittenSettings& w,
                                          const std::vector<Place>& differing,
                                          std::vector<Place>& again) {
  const auto written = [this](FlashStatus status) {
    if (status == FlashStatus::Done) return End::Same;
    return Failed(status == FlashStatus::Refused);
  };
  bool sectorErased = false;
  for (const Place& p : differing) {
    if (p.memory != 0) {
      const End end = written(starter_.WriteDataBlock(
          p.memory, MemoryAddress(p.n), w.memories.data() + MemoryOffset(p.memory, p.n)));
      if (end != End::Same) return end;
      again.push_back(p);
      continue;
    }
    if (sectorErased) continue;
    uint32_t first = p.n * kPagesPerCheck;
    uint32_t last = first + kPagesPerCheck;
    if (w.erasesSector6) {
      // A page is taken again only after an erase, and the erase takes the whole sector.
      if (const End end = written(starter_.EraseFlash(kSector6)); end != End::Same) return end;
      sectorErased = true;
      first = 0;
      last = kSector6Blocks;
    }
    for (uint32_t page = first; page < last; ++page) {
      const End end = written(starter_.WriteFlashBlock(kBootCopyBase + kWriteBlock * page,
                                                       w.sector6.data() + kWriteBlock * page));
      if (end != End::Same) return end;
    }
    if (!sectorErased) again.push_back(p);
  }
  if (sectorErased) {
    std::vector<Place> sector = WholeSector(w);
    again.insert(again.end(), sector.begin(), sector.end());
  }
  return End::Same;
}

SettingsCheck::End SettingsCheck::Locate(const WrittenSettings& w, Place p,
                                         SettingsCheckResult& result) {
  uint8_t block[kChecksumBlock];
  const uint8_t* want = nullptr;
  uint32_t bytes = kBlock;
  uint32_t base = 0;
  if (p.memory != 0) {
    if (!starter_.ReadDataBlock(p.memory, MemoryAddress(p.n), block)) return Failed();
    want = w.memories.data() + MemoryOffset(p.memory, p.n);
    base = MemoryAddress(p.n);
  } else {
    base = kBootCopyBase + kChecksumBlock * p.n;
    for (uint32_t page = 0; page < kPagesPerCheck; ++page)
      if (!starter_.ReadFlashBlock(base + kWriteBlock * page, block + kWriteBlock * page))
        return Failed();
    want = w.sector6.data() + kChecksumBlock * p.n;
    bytes = kChecksumBlock;
  }
  // The block as read may hold what was written after all (its check values differed, or
  // the cell changes on every read): then its first byte stands for it.
  const uint32_t at =
      static_cast<uint32_t>(std::mismatch(block, block + bytes, want).first - block);
  const uint32_t address = base + (at == bytes ? 0 : at);
  if (p.memory != 0) {
    const std::string memory = std::to_string(p.memory);
    result.where = "memory " + memory + " @0x" + HexDigits(address, 4);
    result.keypad = "Error M" + memory + " @0x" + HexDigits(address, 4);
  } else {
    result.where = "FLASH @0x" + HexDigits(address, 5);
    result.keypad = "Error   @0x" + HexDigits(address, 5);
  }
  return End::Differs;
}

}  // namespace tavrino
