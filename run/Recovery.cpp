// SPDX-License-Identifier: GPL-2.0-or-later
// The recovery record: the panel holds no marker of its settings' format, and a run cut
// short (Stop, a dead line, a power cut, a crash) can leave its program erased, sector 6
// erased or half written, or its memories half converted. So before each kind of change
// the run writes down on the host what it needs to finish the work from the truth: the
// panel's data code and the images as they were. The next run that finds the same panel
// takes them from the record instead of from the panel, and finishes.
//
// The record is written only at phase boundaries, never per block, so the run's pace on
// the line stays as it is; and a change the record could not be written for is not made.
#include <algorithm>

#include "firmware/Sha256.h"
#include "frontend/Texts.h"
#include "os/HostOs.h"
#include "run/FlashMap.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;
using state::RecordPhase;

constexpr uint32_t kBlock = kSettingsBlock;
constexpr size_t kFirmwareFileMax = 4 << 20;
// Where block n of memory 1 or 2 lies in the record's memory images (memory 1, then 2).
size_t MemoryImageOffset(uint8_t memory, uint32_t n) {
  return (memory == 1 ? 0 : state::kMemory1Bytes) + kBlock * n;
}

// The file as the record names it.
void FileIdentity(const std::string& path, uint64_t& size, Sha256::Digest& hash) {
  std::vector<uint8_t> bytes;
  if (!os::ReadWholeFile(path, kFirmwareFileMax, bytes).empty()) return;
  size = bytes.size();
  hash = Sha256::Of(bytes);
}

// next replaces what a run writes; the image it replaces is kept beside it as long as a
// cut can have left it in the panel. Images that hold the same settings (from `from` on:
// BootCopy goes with the file, not the settings) are kept once.
void KeepEarlier(std::vector<uint8_t>& current, std::vector<uint8_t> next,
                 std::vector<std::vector<uint8_t>>& earlier, size_t from) {
  const auto same = [from](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    return a.size() == b.size() && std::equal(a.begin() + static_cast<long>(from), a.end(),
                                              b.begin() + static_cast<long>(from));
  };
  if (!current.empty() && !same(current, next) &&
      std::none_of(earlier.begin(), earlier.end(),
                   [&](const auto& e) { return same(e, current); })) {
    if (earlier.size() == state::kEarlierImagesMax) earlier.erase(earlier.begin());
    earlier.push_back(std::move(current));
  }
  std::erase_if(earlier, [&](const auto& e) { return same(e, next); });
  current = std::move(next);
}

}  // namespace

bool UpdateRun::Sector6Touched() const {
  return recordLive_ && record_.phase >= RecordPhase::Sector6;
}

bool UpdateRun::MemoriesTouched() const {
  return recordLive_ && record_.phase >= RecordPhase::Memories;
}

void UpdateRun::ForgetRecord() {
  recordLive_ = false;
  programWritten_ = false;
  verificationBegun_ = false;
  sector6Read_.clear();
  memoriesRead_.clear();
  record_ = {};
  recordPath_.clear();
  starterRecords_.clear();
  starterUpdateOpen_ = false;
  snapshot_ = {};
  resumingUpdate_ = false;
  resuming_ = false;
  resumeDeclined_ = false;
  answered_ = 0;
  answeredBefore_ = 0;
}

bool UpdateRun::RecordIsOfThisFile() const {
  uint64_t size = 0;
  Sha256::Digest hash{};
  FileIdentity(file_.FirmwareFileName, size, hash);
  return size == record_.fileSize && hash == record_.fileHash;
}

void UpdateRun::DescribeRun(state::RecoveryRecord& r) {
  r.port = PortText();
  r.filePath = file_.FirmwareFileName;
  FileIdentity(file_.FirmwareFileName, r.fileSize, r.fileHash);
  r.fileVersionRecord = file_.ReadFileVersionRecord(starter_.PanelHalf).substr(0, 6);
  DescribePanel(r);
}

void UpdateRun::DescribePanel(state::RecoveryRecord& r) const {
  // The panel as it stands now (after a Starter update, the new one).
  r.flashType = ctx_.panel.flashType;
  r.starterVersion = ctx_.panel.starterVersion;
  r.starterLanguage = ctx_.panel.starterLanguage;
  r.secondHalf = starter_.OnSecondHalf();
}

std::string UpdateRun::PortText() const {
  return "COM" + std::to_string(ports_.PortNumber) + " " + port_.LastDevice();
}

void UpdateRun::DescribeSettingsSource(state::RecoveryRecord& r) const {
  r.port = PortText();
  DescribePanel(r);
  r.panelVersionRecord = ctx_.panel.versionRecord;
  r.dataCode = ctx_.panel.versionCode;
}

bool UpdateRun::RecordStarterUpdate() {
  state::RecoveryRecord r;
  r.kind = state::RecordKind::StarterUpdate;
  r.writtenAt = state::NowSeconds();
  DescribeRun(r);
  // What binds it to the panel: nothing of it is changed by the Starter update.
  if (!SnapshotVersion()) return End(Outcome::NoConnection, texts::kNoConnection);
  r.panelVersionRecord = snapshot_.version;
  if (!TakeCopyChecks(r.copyChecks)) return false;
  std::filesystem::path path;
  os::Failure failure = records_.NewPath(state::Folder::Recovery, r.writtenAt, path);
  if (failure.empty()) failure = records_.Write(path, r);
  if (failure.empty()) {
    starterRecords_.push_back(path);
    starterUpdateOpen_ = true;
    return true;
  }
  Add("Recovery record:");
  Status(state::ShortReason(failure));
  return EndQuietly(Outcome::RecordNotWritten);
}

void UpdateRun::RemoveStarterRecords() {
  std::vector<std::filesystem::path> left;
  for (const auto& path : starterRecords_) {
    const os::Failure failure = os::RemoveFile(path);
    if (failure.empty()) continue;
    // Harmless to the panel, but a later run cannot take it away: the panel it describes
    // has moved on, so it no longer proves its panel. Tried again when this run ends.
    left.push_back(path);
    Add("Recovery record:");
    Status(state::ShortReason(failure));
  }
  starterRecords_ = std::move(left);
}

bool UpdateRun::WriteRecord(RecordPhase phase) {
  record_.phase = std::max(record_.phase, phase);
  DescribePanel(record_);
  os::Failure failure;
  if (recordPath_.empty())
    failure = records_.NewPath(state::Folder::Recovery, record_.writtenAt, recordPath_);
  if (failure.empty()) failure = records_.Write(recordPath_, record_);
  if (failure.empty()) return true;
  Add("Recovery record:");
  Status(state::ShortReason(failure));
  return EndQuietly(Outcome::RecordNotWritten);
}

bool UpdateRun::RecordBeforeChanges() {
  if (!recordLive_) {
    record_ = {};
    recordPath_.clear();
    record_.writtenAt = state::NowSeconds();
    record_.panelVersionRecord = ctx_.panel.versionRecord;
    record_.dataCode = ctx_.panel.versionCode;
    if (!TakeCopyChecks(record_.copyChecks)) return false;
  } else {
    // This run's file may differ from the one the record was made with: the panel may
    // still hold what the earlier file's run wrote, and the record goes on saying so.
    const std::string& earlier = record_.fileVersionRecord;
    auto& versions = record_.earlierFileVersions;
    if (earlier != file_.ReadFileVersionRecord(starter_.PanelHalf).substr(0, 6) &&
        std::find(versions.begin(), versions.end(), earlier) == versions.end())
      versions.push_back(earlier);
  }
  record_.answered = answered_;
  // A run that converts the settings keeps them as read before its first change: they bind
  // the record to the panel, and the conversion starts from them.
  if (ConversionDue() && record_.memoriesRead.empty() && !ReadSettingsForRecord()) return false;
  DescribeRun(record_);
  if (!WriteRecord(RecordPhase::Programming)) return false;
  recordLive_ = true;
  // From here on the run changes the panel: what it read of it before is history.
  snapshot_ = {};
  // This record now stands for the panel, the program's first sector included.
  RemoveStarterRecords();
  return true;
}

bool UpdateRun::SavedSector6Block(uint32_t n, uint8_t* block) {
  if (Sector6Touched()) {
    std::copy_n(record_.sector6Saved.begin() + kBlock * n, kBlock, block);
    return true;
  }
  if (!starter_.ReadFlashBlock(kSettingsCopyBase + kBlock * n, block)) return false;
  if (n == 0) sector6Read_.clear();
  sector6Read_.insert(sector6Read_.end(), block, block + kBlock);
  return true;
}

bool UpdateRun::SettingsMemoryBlock(uint8_t memory, uint32_t n, uint8_t* block) {
  // A converting run has them in its record, read before its first change.
  if (recordLive_ && !record_.memoriesRead.empty()) {
    std::copy_n(record_.memoriesRead.begin() + static_cast<long>(MemoryImageOffset(memory, n)),
                kBlock, block);
    return true;
  }
  if (!starter_.ReadDataBlock(memory, static_cast<uint16_t>(kMemoryBase + kBlock * n), block))
    return false;
  if (memory == 1 && n == 0) memoriesRead_.clear();
  memoriesRead_.insert(memoriesRead_.end(), block, block + kBlock);
  return true;
}

bool UpdateRun::RecordSector6() {
  if (!Sector6Touched()) record_.sector6Saved = sector6Read_;
  // What the write-back puts there: BootCopy, memory 2 with fresh sums, memory 1 converted.
  std::vector<uint8_t> written(state::kSector6WrittenBytes);
  image_.ReadProgramBytes(starter_.PanelHalf, 0, written.data(),
                          static_cast<uint32_t>(state::kBootCopyBytes));
  for (uint32_t n = 0; n < kCopyBlocks; ++n) {
    const CopyBlockPlace place = SettingsCopyBlock(n);
    if (!LoadSettings(place.memory2 ? SettingsAreas::kMemory2Area : SettingsAreas::kNewMemory1Area,
                      place.areaOffset, written.data() + state::kBootCopyBytes + kBlock * n))
      return false;
  }
  KeepEarlier(record_.sector6Written, std::move(written), record_.earlierSector6Written,
              state::kBootCopyBytes);
  return WriteRecord(RecordPhase::Sector6);
}

bool UpdateRun::RecordMemories() {
  if (record_.memoriesRead.empty()) record_.memoriesRead = memoriesRead_;
  std::vector<uint8_t> written(state::kMemoriesBytes);
  for (uint32_t n = 0; n < kMemory1Blocks; ++n)
    if (!LoadSettings(SettingsAreas::kNewMemory1Area, static_cast<uint16_t>(kBlock * n),
                      written.data() + MemoryImageOffset(1, n)))
      return false;
  for (uint32_t n = 0; n < kMemory2Blocks; ++n)
    if (!LoadSettings(SettingsAreas::kMemory2Area,
                      static_cast<uint16_t>(SettingsAreas::kMemory2Offset + kBlock * n),
                      written.data() + MemoryImageOffset(2, n)))
      return false;
  KeepEarlier(record_.memoriesWritten, std::move(written), record_.earlierMemoriesWritten, 0);
  return WriteRecord(RecordPhase::Memories);
}

void UpdateRun::RetireRecord() {
  RemoveStarterRecords();
  if (!recordLive_) return;
  recordLive_ = false;
  // The panel is whole again: the record becomes the technician's settings backup.
  record_.phase = RecordPhase::Finished;
  size_t pruned = 0;
  const os::Failure failure = records_.Retire(recordPath_, record_, pruned);
  if (failure.empty()) {
    // Said, so that nobody wonders where an old backup went.
    if (pruned > 0) {
      Add("Older backups removed:");
      Status(std::to_string(pruned));
    }
    return;
  }
  // Where the backup cannot go, the record still tells the truth: the update is finished,
  // and the next run must not do it again.
  records_.Write(recordPath_, record_);
  Add("Settings backup:");
  Status("failed: " + state::ShortReason(failure));
}

}  // namespace tavrino
