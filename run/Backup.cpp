// SPDX-License-Identifier: GPL-2.0-or-later
// The backup command: both settings memories and their copies in sector 6 read from the
// panel and kept on the host in the recovery record's format, changing nothing in the panel.
#include "frontend/Texts.h"
#include "run/FlashMap.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;

constexpr uint32_t kBlock = kSettingsBlock;
constexpr int32_t kAllBlocks = kMemory1Blocks + kMemory2Blocks + kCopyBlocks;

}  // namespace

Outcome UpdateRun::SettingsBackup(const std::string& file, bool replace) {
  backupWritten_.clear();
  ctx_.switches = RunSwitches::Settings(true);
  anyBoard_ = true;  // no firmware file decides the board here
  const Outcome outcome = ReadSettingsBackup(file, replace);
  anyBoard_ = false;
  return host_.Stopped() ? Outcome::Stopped : outcome;
}

Outcome UpdateRun::ReadFailed() {
  End(Outcome::NoConnection, texts::kNoConnection);
  return end_;
}

Outcome UpdateRun::ReadSettingsBackup(const std::string& file, bool replace) {
  settings_.Reset();
  ForgetRecord();
  ctx_.portOpened = ports_.ChoosePort();
  if (!ctx_.portOpened) return Outcome::PortNotOpened;
  if (!Connecting() || !Identification() || !ProgramInPanel()) return end_;

  state::RecoveryRecord r;
  r.kind = state::RecordKind::Backup;
  r.phase = state::RecordPhase::Read;
  r.writtenAt = state::NowSeconds();
  DescribeSettingsSource(r);

  Add("Reading settings:");
  uint8_t block[kBlock];
  int32_t done = 0;
  for (uint8_t memory = 1; memory <= 2; ++memory) {
    const uint32_t blocks = memory == 1 ? kMemory1Blocks : kMemory2Blocks;
    for (uint32_t n = 0; n < blocks; ++n, ++done) {
      Progress(done, kAllBlocks - 1);
      if (!starter_.ReadDataBlock(memory, static_cast<uint16_t>(kMemoryBase + kBlock * n), block) ||
          host_.Stopped())
        return ReadFailed();
      r.memoriesRead.insert(r.memoriesRead.end(), block, block + kBlock);
    }
  }
  for (uint32_t n = 0; n < kCopyBlocks; ++n, ++done) {
    Progress(done, kAllBlocks - 1);
    if (!starter_.ReadFlashBlock(kSettingsCopyBase + kBlock * n, block) || host_.Stopped())
      return ReadFailed();
    r.sector6Saved.insert(r.sector6Saved.end(), block, block + kBlock);
  }
  Status(texts::kOk);

  Add("Settings backup:");
  std::filesystem::path path = file;
  os::Failure failure;
  if (!file.empty()) {
    // The user's own file: the folder it is in stays as it is.
    failure = state::WriteBackupFile(path, r, replace);
  } else if (failure = records_.NewPath(state::Folder::Backups, r.writtenAt, path);
             failure.empty()) {
    failure = records_.Write(path, r);
    if (!failure.empty()) os::RemoveFile(path);
  }
  if (!failure.empty()) {
    Status(state::ShortReason(failure));
    return Outcome::RecordNotWritten;
  }
  backupWritten_ = path.string();
  Status(path.filename().string());
  if (file.empty()) {
    // Said, so that nobody wonders where an old backup went.
    if (const size_t pruned = records_.PruneBackups({path}); pruned > 0) {
      Add("Older backups removed:");
      Status(std::to_string(pruned));
    }
  }
  return Outcome::BackedUp;
}

}  // namespace tavrino
