// SPDX-License-Identifier: GPL-2.0-or-later
// The restore's changes to the panel: its record first (the panel's settings as read, and
// what it will write), then sector 6 and the memories, and at the end the settings the panel
// held before kept as a backup.
#include "frontend/Texts.h"
#include "run/FlashMap.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;

constexpr uint32_t kBlock = kSettingsBlock;
constexpr int32_t kCopyChecks = static_cast<int32_t>(state::kCopyCheckBlocks);
constexpr int32_t kMemoryReads = kMemory1Blocks + kMemory2Blocks;
constexpr int32_t kSector6Reads = kCopyBlocks + kBootCopyWriteBlocks;

}  // namespace

bool UpdateRun::ReadProgramStart(std::vector<uint8_t>& bootCopy) {
  bootCopy.resize(state::kBootCopyBytes);
  for (uint32_t n = 0; n < kBootCopyWriteBlocks; ++n) {
    if (!starter_.ReadFlashBlock(kBlock * n, bootCopy.data() + kBlock * n)) return false;
    SnapshotProgress();
  }
  return true;
}

bool UpdateRun::RecordRestore(const std::string& file, const BackupSettings& settings) {
  const bool copies = RestoreWritesCopies(settings.dataCode);
  // What binds the record to the panel, and what the panel's settings were: the check
  // values of its copies, both memories, and the copies themselves where they are written.
  Add("Reading settings:");
  snapshot_.reads = 0;
  snapshot_.readsPlanned = kCopyChecks + kMemoryReads + (copies ? kSector6Reads : 0);
  std::vector<uint8_t> bootCopy;
  if (!SnapshotCopyChecks() || !SnapshotMemories() ||
      (copies && (!SnapshotCopies() || !ReadProgramStart(bootCopy))))
    return End(Outcome::NoConnection, texts::kNoConnection);
  Status(texts::kOk);

  RestoreImages images;
  if (!PrepareRestoreImages(settings_, settings, ctx_.panel.versionCode, bootCopy, images))
    return End(Outcome::InternalError, texts::kBlad);
  record_ = {};
  recordPath_.clear();
  record_.kind = state::RecordKind::Restore;
  record_.writtenAt = state::NowSeconds();
  DescribeSettingsSource(record_);
  record_.filePath = file;
  record_.fileSize = backupSize_;
  record_.fileHash = backupHash_;
  record_.copyChecks = snapshot_.copyChecks;
  record_.memoriesRead = snapshot_.memories;
  if (copies) record_.sector6Saved = snapshot_.copies;
  record_.sector6Written = std::move(images.sector6);
  record_.memoriesWritten = std::move(images.memories);
  if (!WriteRecord(state::RecordPhase::Memories)) return false;
  recordLive_ = true;
  snapshot_ = {};
  return true;
}

bool UpdateRun::RestoreWriting() {
  const std::vector<uint8_t>& sector6 = record_.sector6Written;
  if (!sector6.empty()) {
    // As a Program run's settings recovery writes sector 6 back, from the record.
    Add("Data recovering:");
    Keypad("Data recovering ", true);
    if (ErasesSector6() && !FlashResult(starter_.EraseFlash(kSector6))) return false;
    for (uint32_t n = 0; n < kSector6Blocks; ++n) {
      Progress(static_cast<int32_t>(n + 1), kSector6Blocks);
      if (!FlashResult(
              starter_.WriteFlashBlock(kBootCopyBase + kBlock * n, sector6.data() + kBlock * n)))
        return false;
    }
    Status(texts::kOk);
  }
  Add("Data restoring:");
  Keypad("Data restoring  ", true);
  const std::vector<uint8_t>& memories = record_.memoriesWritten;
  const uint32_t blocks = kMemory1Blocks + kMemory2Blocks;
  for (uint32_t i = 0; i < blocks; ++i) {
    Progress(static_cast<int32_t>(i + 1), static_cast<int32_t>(blocks));
    const uint8_t memory = i < kMemory1Blocks ? 1 : 2;
    const uint32_t n = memory == 1 ? i : i - kMemory1Blocks;
    const FlashStatus written = starter_.WriteDataBlock(
        memory, static_cast<uint16_t>(kMemoryBase + kBlock * n), memories.data() + kBlock * i);
    if (written != FlashStatus::Done)
      return End(written == FlashStatus::Refused ? Outcome::PanelRefused : Outcome::NoConnection,
                 texts::kNoConnection);
  }
  Status(texts::kOk);
  return true;
}

void UpdateRun::KeepEarlierSettings() {
  // The settings the panel held before the restore become a settings backup of their own:
  // a backup restored onto the wrong panel, or the wrong backup, can still be undone.
  state::RecoveryRecord kept;
  kept.kind = state::RecordKind::Backup;
  kept.writtenAt = record_.writtenAt;
  kept.port = record_.port;
  DescribePanel(kept);
  kept.panelVersionRecord = record_.panelVersionRecord;
  kept.dataCode = record_.dataCode;
  kept.memoriesRead = record_.memoriesRead;
  kept.sector6Saved = record_.sector6Saved;
  recordLive_ = false;
  size_t pruned = 0;
  std::filesystem::path made;
  Add("Earlier settings kept:");
  // The backup just restored from stays too, though it may be the oldest in backups/.
  const os::Failure failure =
      records_.Retire(recordPath_, kept, pruned, &made, std::filesystem::path(record_.filePath));
  if (failure.empty()) {
    Status(made.filename().string());
    // Said, so that nobody wonders where an old backup went.
    if (pruned > 0) {
      Add("Older backups removed:");
      Status(std::to_string(pruned));
    }
    return;
  }
  // Where backups/ cannot take them they stay in recovery/, as a backup no run finishes.
  records_.Write(recordPath_, kept);
  Status("failed: " + state::ShortReason(failure));
}

}  // namespace tavrino
