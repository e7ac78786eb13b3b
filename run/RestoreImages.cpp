// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/RestoreImages.h"

#include <algorithm>

namespace tavrino {

namespace {

using state::kMemory1Bytes;
using state::kMemory2Bytes;
using state::RecordKind;
using state::RecordPhase;

constexpr uint16_t kChunk = 128;  // the areas take at most 255 bytes at a time

bool Put(SettingsAreas& areas, uint8_t area, uint16_t offset, std::span<const uint8_t> bytes) {
  for (size_t at = 0; at < bytes.size(); at += kChunk)
    if (!areas.WriteSettingsArea(
            area, static_cast<uint16_t>(offset + at), bytes.data() + at,
            static_cast<uint16_t>(std::min<size_t>(kChunk, bytes.size() - at))))
      return false;
  return true;
}

bool Take(SettingsAreas& areas, uint8_t area, uint16_t offset, size_t count,
          std::vector<uint8_t>& out) {
  const size_t start = out.size();
  out.resize(start + count);
  for (size_t at = 0; at < count; at += kChunk)
    if (!areas.ReadSettingsArea(area, static_cast<uint16_t>(offset + at), out.data() + start + at,
                                static_cast<uint16_t>(std::min<size_t>(kChunk, count - at))))
      return false;
  return true;
}

// Memory 1 (or its copy) into area 1, memory 2 (or its copy) into area 0.
bool Load(SettingsAreas& areas, std::span<const uint8_t> memory1,
          std::span<const uint8_t> memory2) {
  return Put(areas, SettingsAreas::kOldMemory1Area, 0, memory1) &&
         Put(areas, SettingsAreas::kMemory2Area, SettingsAreas::kMemory2Offset, memory2);
}

bool Convert(SettingsAreas& areas, const std::string& from, const std::string& to) {
  if (CodesConvert(from, to)) return areas.ConvertSettings(from, to);
  areas.CopyMemory1Unchanged();
  return !areas.Failed();
}

}  // namespace

std::string SettingsOfRecord(const state::RecoveryRecord& r, BackupSettings& s) {
  s = {};
  if (r.kind == RecordKind::StarterUpdate) return "a Starter update's record: no settings";
  if (r.kind == RecordKind::Restore) return "a restore's own record";
  if (r.kind == RecordKind::Update && r.phase != RecordPhase::Finished)
    return "an unfinished update's record";
  if (r.kind == RecordKind::Backup) {
    s.dataCode = r.dataCode;
    s.memories = r.memoriesRead;
    s.copies = r.sector6Saved;
  } else if (!r.memoriesWritten.empty()) {
    // A finished update holds the settings as it left them, in its file's format.
    s.dataCode = r.fileVersionRecord.substr(0, 3);
    s.memories = r.memoriesWritten;
    if (!r.sector6Written.empty())
      s.copies.assign(r.sector6Written.begin() + state::kBootCopyBytes, r.sector6Written.end());
  } else {
    return "an update that left the settings memories alone";
  }
  if (s.memories.size() != state::kMemoriesBytes) return "no settings memories";
  if (s.dataCode.size() != 3) return "no data code";
  return {};
}

bool CodesConvert(const std::string& from, const std::string& to) {
  return (from == "103" && to == "104") || (from == "104" && to == "103");
}

bool CodesMeet(const std::string& from, const std::string& to) {
  return from == to || CodesConvert(from, to);
}

bool PrepareRestoreImages(SettingsAreas& areas, const BackupSettings& s,
                          const std::string& panelCode, std::span<const uint8_t> bootCopy,
                          RestoreImages& images) {
  images = {};
  const std::span<const uint8_t> memories(s.memories);
  if (!CodesConvert(s.dataCode, panelCode)) {
    // Nothing to convert: the memories go back exactly as they were kept.
    images.memories = s.memories;
  } else {
    // As a Program run's conversion: memory 1 converted, then memory 2's sums refreshed.
    if (!Load(areas, memories.first(kMemory1Bytes), memories.subspan(kMemory1Bytes)) ||
        !Convert(areas, s.dataCode, panelCode))
      return false;
    areas.RefreshMemory2Sums();
    if (!Take(areas, SettingsAreas::kNewMemory1Area, 0, kMemory1Bytes, images.memories) ||
        !Take(areas, SettingsAreas::kMemory2Area, SettingsAreas::kMemory2Offset, kMemory2Bytes,
              images.memories))
      return false;
  }
  if (bootCopy.empty()) return true;
  if (s.copies.size() != state::kSector6SavedBytes || bootCopy.size() != state::kBootCopyBytes)
    return false;
  // As a Program run's settings recovery: memory 2's sums first, then memory 1 converted
  // or copied; behind BootCopy.
  const std::span<const uint8_t> copies(s.copies);
  if (!Load(areas, copies.subspan(kMemory2Bytes), copies.first(kMemory2Bytes))) return false;
  areas.RefreshMemory2Sums();
  if (!Convert(areas, s.dataCode, panelCode)) return false;
  images.sector6.assign(bootCopy.begin(), bootCopy.end());
  return Take(areas, SettingsAreas::kMemory2Area, SettingsAreas::kMemory2Offset, kMemory2Bytes,
              images.sector6) &&
         Take(areas, SettingsAreas::kNewMemory1Area, 0, kMemory1Bytes, images.sector6);
}

}  // namespace tavrino
