// SPDX-License-Identifier: GPL-2.0-or-later
// What binds a recovery record to its panel. A model (chip, board, Starter) is shared by
// many panels, and a version record by many more; the settings are the panel's own. So
// before its first change a run keeps the check values of the settings copies in sector 6
// (96 short exchanges; the run changes them last) and, when it will convert the settings,
// both settings memories as read (the conversion reads them anyway: reading them before
// the first change costs no exchange). A later run applies a record only to a panel whose
// state the record's runs can have left: each block of what they may have changed holds
// what was there before them or what they wrote, and what they had not touched yet is
// exactly as it was.
#include <algorithm>

#include "firmware/Checksum.h"
#include "frontend/Texts.h"
#include "run/FlashMap.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;
using state::RecordPhase;

constexpr uint32_t kBlock = kSettingsBlock;
constexpr size_t kCheckBytes = 4;
const std::string kErasedRecord(6, '\xFF');

bool Erased(const uint8_t* bytes, size_t n) {
  return std::all_of(bytes, bytes + n, [](uint8_t b) { return b == 0xFF; });
}

bool BlockIs(const uint8_t* block, const std::vector<uint8_t>& image, size_t offset) {
  return image.size() >= offset + kBlock &&
         std::equal(block, block + kBlock, image.begin() + static_cast<long>(offset));
}

bool BlockIsAny(const uint8_t* block, const std::vector<std::vector<uint8_t>>& images,
                size_t offset) {
  return std::any_of(images.begin(), images.end(),
                     [&](const auto& image) { return BlockIs(block, image, offset); });
}

// The check values of an erased 512-byte block: such blocks prove nothing of a panel.
std::vector<uint8_t> ErasedCheck() {
  const std::vector<uint8_t> erased(kChecksumBlock, 0xFF);
  const HalfChecksum c = BlockChecksum(erased.data(), erased.size());
  return {static_cast<uint8_t>(c.sum), static_cast<uint8_t>(c.sum >> 8), c.xorValue, c.rot};
}

}  // namespace

bool UpdateRun::SameModel(const state::RecoveryRecord& r) const {
  const bool starterAsRecorded = r.starterVersion == ctx_.panel.starterVersion &&
                                 r.starterLanguage == ctx_.panel.starterLanguage;
  const bool starterUpdated = ctx_.panel.starterVersion == kFirstGoodStarter &&
                              ctx_.panel.starterLanguage == kEnglishStarter;
  return r.flashType == ctx_.panel.flashType && r.secondHalf == starter_.OnSecondHalf() &&
         (starterAsRecorded || starterUpdated);
}

void UpdateRun::SnapshotProgress() {
  ++snapshot_.reads;
  if (snapshot_.readsPlanned > 0) Progress(snapshot_.reads, snapshot_.readsPlanned);
}

bool UpdateRun::SnapshotVersion() {
  if (!snapshot_.version.empty()) return true;
  return ReadVersionRecord(snapshot_.version);
}

bool UpdateRun::SnapshotCopyChecks() {
  if (!snapshot_.copyChecks.empty()) return true;
  std::vector<uint8_t> checks;
  for (uint32_t n = 0; n < state::kCopyCheckBlocks; ++n) {
    HalfChecksum c;
    if (!starter_.ReadFlashChecksum(kSettingsCopyBase + kChecksumBlock * n, c.sum, c.xorValue,
                                    c.rot))
      return false;
    checks.insert(checks.end(), {static_cast<uint8_t>(c.sum), static_cast<uint8_t>(c.sum >> 8),
                                 c.xorValue, c.rot});
    SnapshotProgress();
  }
  snapshot_.copyChecks = std::move(checks);
  return true;
}

bool UpdateRun::SnapshotCopies() {
  if (!snapshot_.copies.empty()) return true;
  std::vector<uint8_t> copies(kCopyBlocks * kBlock);
  for (uint32_t n = 0; n < kCopyBlocks; ++n) {
    if (!starter_.ReadFlashBlock(kSettingsCopyBase + kBlock * n, copies.data() + kBlock * n))
      return false;
    SnapshotProgress();
  }
  snapshot_.copies = std::move(copies);
  return true;
}

bool UpdateRun::SnapshotMemories() {
  if (!snapshot_.memories.empty()) return true;
  std::vector<uint8_t> memories(state::kMemoriesBytes);
  uint8_t* at = memories.data();
  for (uint8_t memory = 1; memory <= 2; ++memory) {
    const uint32_t blocks = memory == 1 ? kMemory1Blocks : kMemory2Blocks;
    for (uint32_t n = 0; n < blocks; ++n, at += kBlock) {
      if (!starter_.ReadDataBlock(memory, static_cast<uint16_t>(kMemoryBase + kBlock * n), at))
        return false;
      SnapshotProgress();
    }
  }
  snapshot_.memories = std::move(memories);
  return true;
}

UpdateRun::Match UpdateRun::CopyChecksAsRecorded(const state::RecoveryRecord& r,
                                                 bool& settingsProven) {
  if (!SnapshotCopyChecks()) return Match::LineFailed;
  if (snapshot_.copyChecks != r.copyChecks) return Match::No;
  const std::vector<uint8_t> erased = ErasedCheck();
  for (size_t at = 0; at < r.copyChecks.size(); at += kCheckBytes)
    if (!std::equal(erased.begin(), erased.end(), r.copyChecks.begin() + static_cast<long>(at)))
      settingsProven = true;
  return Match::Yes;
}

UpdateRun::Match UpdateRun::CopyPagesAsRecorded(
    const state::RecoveryRecord& r, const std::vector<std::vector<uint8_t>>& earlierWritten,
    bool erasedAllowed, bool& settingsProven) {
  if (!SnapshotCopies()) return Match::LineFailed;
  for (uint32_t n = 0; n < kCopyBlocks; ++n) {
    const uint8_t* block = snapshot_.copies.data() + kBlock * n;
    const size_t written = state::kBootCopyBytes + kBlock * n;
    const bool known = BlockIs(block, r.sector6Saved, kBlock * n) ||
                       BlockIs(block, r.sector6Written, written) ||
                       BlockIsAny(block, earlierWritten, written);
    const bool erased = Erased(block, kBlock);
    if (!known && !(erased && erasedAllowed)) return Match::No;
    if (known && !erased) settingsProven = true;
  }
  return Match::Yes;
}

UpdateRun::Match UpdateRun::UpdateRecordMatches(const state::RecoveryRecord& r,
                                                bool& settingsProven) {
  settingsProven = false;
  if (!SameModel(r)) return Match::No;
  // The program as the runs can have left it: untouched, erased, or one of their files'.
  if (!SnapshotVersion()) return Match::LineFailed;
  const std::string& version = snapshot_.version;
  if (version != r.panelVersionRecord && version != kErasedRecord &&
      version != r.fileVersionRecord &&
      std::find(r.earlierFileVersions.begin(), r.earlierFileVersions.end(), version) ==
          r.earlierFileVersions.end())
    return Match::No;

  if (r.phase < RecordPhase::Sector6) {
    // The copies are untouched: exactly as they were.
    if (const Match copies = CopyChecksAsRecorded(r, settingsProven); copies != Match::Yes)
      return copies;
  } else {
    // Page by page as saved, as written back (by this file's run or an earlier one), or
    // erased.
    if (const Match copies = CopyPagesAsRecorded(r, r.earlierSector6Written, true, settingsProven);
        copies != Match::Yes)
      return copies;
  }

  if (r.memoriesRead.empty()) return Match::Yes;
  if (!SnapshotMemories()) return Match::LineFailed;
  if (r.phase < RecordPhase::Memories) {
    if (snapshot_.memories != r.memoriesRead) return Match::No;
    settingsProven = settingsProven || !Erased(r.memoriesRead.data(), r.memoriesRead.size());
    return Match::Yes;
  }
  // Block by block as read, or as one of the runs wrote them.
  for (size_t at = 0; at < snapshot_.memories.size(); at += kBlock) {
    const uint8_t* block = snapshot_.memories.data() + at;
    if (!BlockIs(block, r.memoriesRead, at) && !BlockIs(block, r.memoriesWritten, at) &&
        !BlockIsAny(block, r.earlierMemoriesWritten, at))
      return Match::No;
    if (!Erased(block, kBlock)) settingsProven = true;
  }
  return Match::Yes;
}

UpdateRun::Match UpdateRun::RestoreRecordMatches(const state::RecoveryRecord& r,
                                                 bool& settingsProven) {
  settingsProven = false;
  // A restore changes the settings alone: the model and the program are exactly as it found
  // them.
  if (r.flashType != ctx_.panel.flashType || r.secondHalf != starter_.OnSecondHalf() ||
      r.starterVersion != ctx_.panel.starterVersion ||
      r.starterLanguage != ctx_.panel.starterLanguage)
    return Match::No;
  if (!SnapshotVersion()) return Match::LineFailed;
  if (snapshot_.version != r.panelVersionRecord) return Match::No;
  if (r.sector6Written.empty()) {
    if (const Match copies = CopyChecksAsRecorded(r, settingsProven); copies != Match::Yes)
      return copies;
  } else {
    // Erased pages prove nothing, and only a chip that erases sector 6 shows them.
    if (const Match copies = CopyPagesAsRecorded(r, {}, ErasesSector6(), settingsProven);
        copies != Match::Yes)
      return copies;
  }
  if (!SnapshotMemories()) return Match::LineFailed;
  for (size_t at = 0; at < snapshot_.memories.size(); at += kBlock) {
    const uint8_t* block = snapshot_.memories.data() + at;
    if (!BlockIs(block, r.memoriesRead, at) && !BlockIs(block, r.memoriesWritten, at))
      return Match::No;
    if (!Erased(block, kBlock)) settingsProven = true;
  }
  return Match::Yes;
}

UpdateRun::Match UpdateRun::StarterRecordMatches(const state::RecoveryRecord& r) {
  // A Starter update changes sector 0 and the Starter, nothing else: the version record and
  // the settings copies are exactly as its record found them.
  if (!SameModel(r)) return Match::No;
  if (!SnapshotVersion()) return Match::LineFailed;
  if (snapshot_.version != r.panelVersionRecord) return Match::No;
  if (!SnapshotCopyChecks()) return Match::LineFailed;
  return snapshot_.copyChecks == r.copyChecks ? Match::Yes : Match::No;
}

bool UpdateRun::TakeCopyChecks(std::vector<uint8_t>& checks) {
  // A short pause between two lines: no line of its own, no bar.
  snapshot_.readsPlanned = 0;
  if (!SnapshotCopyChecks()) {
    Add("Recovery record:");
    return End(Outcome::NoConnection, texts::kNoConnection);
  }
  checks = snapshot_.copyChecks;
  return true;
}

bool UpdateRun::ReadSettingsForRecord() {
  if (snapshot_.memories.empty()) {
    Add("Reading settings:");
    // The bar follows the memories' blocks alone here.
    snapshot_.reads = 0;
    snapshot_.readsPlanned = kMemory1Blocks + kMemory2Blocks;
    if (!SnapshotMemories()) return End(Outcome::NoConnection, texts::kNoConnection);
    Status(texts::kOk);
  }
  record_.memoriesRead = snapshot_.memories;
  return true;
}

}  // namespace tavrino
