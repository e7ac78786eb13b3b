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
#include "firmware/Version.h"
#include "frontend/Texts.h"
#include "os/HostOs.h"
#include "run/FlashMap.h"
#include "run/RecordLine.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;
using state::RecordPhase;

constexpr uint32_t kBlock = 256;
constexpr uint32_t kVersionRecordAddress = 0x12000;
constexpr uint32_t kSignatureLength = 6;
constexpr uint32_t kCopyBlocks = 192;  // sector 6 after BootCopy: memory 2, then memory 1
constexpr uint32_t kMemory1Blocks = 128;
constexpr uint32_t kMemory2Blocks = 64;
constexpr uint16_t kMemoryBase = 0x8000;
constexpr uint16_t kMemory2InArea0 = 0x4000;
constexpr size_t kFirmwareFileMax = 4 << 20;
const std::string kErasedRecord(6, '\xFF');

bool BlockIs(const uint8_t* block, const std::vector<uint8_t>& image, size_t offset) {
  return image.size() >= offset + kBlock &&
         std::equal(block, block + kBlock, image.begin() + static_cast<long>(offset));
}

bool Erased(const uint8_t* block) {
  return std::all_of(block, block + kBlock, [](uint8_t b) { return b == 0xFF; });
}

// Where block n of memory 1 or 2 lies in the record's memory images (memory 1, then 2).
size_t MemoryImageOffset(uint8_t memory, uint32_t n) {
  return (memory == 1 ? 0 : state::kMemory1Bytes) + kBlock * n;
}

}  // namespace

bool UpdateRun::Sector6Touched() const {
  return recordLive_ && record_.phase >= RecordPhase::Sector6;
}

bool UpdateRun::MemoriesTouched() const {
  return recordLive_ && record_.phase >= RecordPhase::Memories;
}

bool UpdateRun::ReadVersionRecord(std::string& record) {
  std::string chars;
  uint8_t language = 0;
  ReadPanelVersionRecord(kVersionRecordAddress, chars, language);
  if (chars == std::string("\0\0QZ1", 5) && language == '7')
    ReadPanelVersionRecord(kVersionRecordAddress + kSignatureLength, chars, language);
  if (chars.size() != 5) return false;
  record = chars + static_cast<char>(language);
  return true;
}

UpdateRun::Match UpdateRun::PanelMatches(const state::RecoveryRecord& r) {
  if (r.kind != state::RecordKind::Update || r.flashType != FlashType ||
      r.secondHalf != starter_.OnSecondHalf())
    return Match::No;
  if (r.starterVersion != StarterVersion || r.starterLanguage != StarterLanguage) return Match::No;

  // The program as the update can have left it: untouched, erased, or the new one.
  std::string version;
  if (!ReadVersionRecord(version)) return Match::LineFailed;
  if (version != r.panelVersionRecord && version != kErasedRecord && version != r.fileVersionRecord)
    return Match::No;

  uint8_t block[kBlock];
  if (r.phase >= RecordPhase::Sector6) {
    // The settings copies page by page: as saved, as written back, or erased.
    for (uint32_t n = 0; n < kCopyBlocks; ++n) {
      if (!starter_.ReadFlashBlock(kSettingsCopyBase + kBlock * n, block)) return Match::LineFailed;
      if (!BlockIs(block, r.sector6Saved, kBlock * n) &&
          !BlockIs(block, r.sector6Written, state::kBootCopyBytes + kBlock * n) && !Erased(block))
        return Match::No;
    }
  }
  if (r.phase >= RecordPhase::Memories) {
    // Every block of both memories holds either its old or its new image.
    for (uint8_t memory = 1; memory <= 2; ++memory) {
      const uint32_t blocks = memory == 1 ? kMemory1Blocks : kMemory2Blocks;
      for (uint32_t n = 0; n < blocks; ++n) {
        if (!starter_.ReadDataBlock(memory, static_cast<uint16_t>(kMemoryBase + kBlock * n), block))
          return Match::LineFailed;
        const size_t at = MemoryImageOffset(memory, n);
        if (!BlockIs(block, r.memoriesRead, at) && !BlockIs(block, r.memoriesWritten, at))
          return Match::No;
      }
    }
  }
  return Match::Yes;
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
}

bool UpdateRun::UnfinishedUpdate() {
  const auto found = records_.List(state::Folder::Recovery);
  bool otherPanel = false;
  const size_t ownStarterRecords = starterRecords_.size();
  uint64_t starterCutAt = 0;
  // The newest first: a panel cut short twice is finished from its latest record.
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    if (!it->Usable()) {
      // Never used, and said each time, so that nobody takes it for kept settings.
      SayUnusableRecord(host_, *it);
      continue;
    }
    if (std::find(starterRecords_.begin(), starterRecords_.end(), it->path) !=
        starterRecords_.end())
      continue;  // this run's own Starter update
    if (it->record.kind == state::RecordKind::StarterUpdate) {
      // Only sector 0 was in play, and this run has checked the Starter since: the same
      // chip and board is all there is to match.
      const state::RecoveryRecord& r = it->record;
      if (r.flashType != FlashType || r.secondHalf != starter_.OnSecondHalf()) {
        otherPanel = true;
        continue;
      }
      starterRecords_.push_back(it->path);
      starterCutAt = std::max(starterCutAt, r.writtenAt);
      continue;
    }
    if (recordLive_) continue;
    const Match match = PanelMatches(it->record);
    if (match == Match::LineFailed) return End(Outcome::NoConnection, texts::kNoConnection);
    if (match == Match::No) {
      otherPanel = true;
      continue;
    }
    record_ = it->record;
    recordPath_ = it->path;
    recordLive_ = true;
  }
  const bool starterCut = starterRecords_.size() > ownStarterRecords;
  if (!recordLive_ && !starterCut) {
    if (otherPanel) {
      Add("Unfinished update:");
      Status("other panel");
    }
    return true;
  }
  if (!recordLive_) {
    // A Starter update cut short left the program's first sector erased or holding the
    // updater: the program is written again whatever its version says.
    Add("Unfinished update:");
    Status(state::TimeText(starterCutAt));
    if (!Unattended &&
        !Ask("The Starter update of this panel of " + state::TimeText(starterCutAt) +
             " was cut short.\rIts program may be incomplete.\r\rFinish the update ?")) {
      starterRecords_.resize(ownStarterRecords);
      return EndQuietly(Outcome::Declined);
    }
    ForceProgram = true;
    return true;
  }
  Add("Unfinished update:");
  Status(state::TimeText(record_.writtenAt));
  if (!Unattended &&
      !Ask("The update of this panel of " + state::TimeText(record_.writtenAt) +
           " was cut short.\rIts settings are kept on this computer.\r\rFinish the update ?")) {
    // The records and the panel stay as they are, for a later run.
    recordLive_ = false;
    starterRecords_.resize(ownStarterRecords);
    return EndQuietly(Outcome::Declined);
  }
  // The whole update again, from the record's truth: no questions about versions.
  ForceProgram = true;
  return true;
}

void UpdateRun::AdoptRecordedPanel() {
  if (!recordLive_) return;
  // The panel's version record may be erased or already the new one; the settings are
  // still of the format the record names.
  PanelVersion = record_.dataCode;
  const std::string& v = record_.panelVersionRecord;
  if (v.size() == 6 && v != kErasedRecord) {
    PanelLanguage = static_cast<uint8_t>(v[5]);
    PanelVersionText = VersionText(v.substr(0, 5), PanelLanguage);
  }
}

void UpdateRun::DescribeRun(state::RecoveryRecord& r) {
  r.port = "COM" + std::to_string(ports_.PortNumber) + " " + port_.LastDevice();
  r.filePath = file_.FirmwareFileName;
  std::vector<uint8_t> bytes;
  if (os::ReadWholeFile(file_.FirmwareFileName, kFirmwareFileMax, bytes).empty()) {
    r.fileSize = bytes.size();
    r.fileHash = Sha256::Of(bytes);
  }
  r.fileVersionRecord = file_.ReadFileVersionRecord(starter_.PanelHalf).substr(0, 6);
  DescribePanel(r);
}

void UpdateRun::DescribePanel(state::RecoveryRecord& r) const {
  // The panel as it stands now (after a Starter update, the new one).
  r.flashType = FlashType;
  r.starterVersion = StarterVersion;
  r.starterLanguage = StarterLanguage;
  r.secondHalf = starter_.OnSecondHalf();
}

bool UpdateRun::RecordStarterUpdate() {
  state::RecoveryRecord r;
  r.kind = state::RecordKind::StarterUpdate;
  r.writtenAt = state::NowSeconds();
  DescribeRun(r);
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
  for (const auto& path : starterRecords_) {
    const os::Failure failure = os::RemoveFile(path);
    if (failure.empty()) continue;
    // Harmless to the panel: the next run finds it whole and removes it then.
    Add("Recovery record:");
    Status(state::ShortReason(failure));
  }
  starterRecords_.clear();
}

bool UpdateRun::WriteRecord(RecordPhase phase) {
  record_.kind = state::RecordKind::Update;
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
    record_.panelVersionRecord = panelVersionRecord_;
    record_.dataCode = PanelVersion;
  }
  DescribeRun(record_);
  if (!WriteRecord(RecordPhase::Programming)) return false;
  recordLive_ = true;
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
  if (MemoriesTouched()) {
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
    const bool memory2 = n < kMemory2Blocks;
    const auto offset = static_cast<uint16_t>(memory2 ? kMemory2InArea0 + kBlock * n
                                                      : kBlock * (n - kMemory2Blocks));
    if (!LoadSettings(memory2 ? SettingsAreas::kMemory2Area : SettingsAreas::kNewMemory1Area,
                      offset, written.data() + state::kBootCopyBytes + kBlock * n))
      return false;
  }
  record_.sector6Written = std::move(written);
  return WriteRecord(RecordPhase::Sector6);
}

bool UpdateRun::RecordMemories() {
  if (!MemoriesTouched()) record_.memoriesRead = memoriesRead_;
  std::vector<uint8_t> written(state::kMemoriesBytes);
  for (uint32_t n = 0; n < kMemory1Blocks; ++n)
    if (!LoadSettings(SettingsAreas::kNewMemory1Area, static_cast<uint16_t>(kBlock * n),
                      written.data() + MemoryImageOffset(1, n)))
      return false;
  for (uint32_t n = 0; n < kMemory2Blocks; ++n)
    if (!LoadSettings(SettingsAreas::kMemory2Area,
                      static_cast<uint16_t>(kMemory2InArea0 + kBlock * n),
                      written.data() + MemoryImageOffset(2, n)))
      return false;
  record_.memoriesWritten = std::move(written);
  return WriteRecord(RecordPhase::Memories);
}

void UpdateRun::RetireRecord() {
  RemoveStarterRecords();
  if (!recordLive_) return;
  recordLive_ = false;
  // The panel is whole again: the record becomes the technician's settings backup.
  const os::Failure failure = records_.Retire(recordPath_, record_);
  if (failure.empty()) return;
  Add("Settings backup:");
  Status(state::ShortReason(failure));
}

void UpdateRun::SayWhatWasLeft() {
  if (!recordLive_ && !starterRecords_.empty()) {
    Add(starterUpdateOpen_ ? "Cut short: the panel's Starter update is incomplete."
                           : "Cut short: the panel's program is incomplete.");
    Add("The same command finishes the work.");
    return;
  }
  if (!recordLive_) return;
  const bool settings = record_.phase >= RecordPhase::Sector6 && !verificationBegun_;
  if (!programWritten_)
    Add(settings ? "Cut short: the panel's program and settings are incomplete."
                 : "Cut short: the panel's program is incomplete.");
  else if (settings)
    Add("Cut short: the panel's settings are incomplete.");
  else
    Add("Not finished: the panel's program is not verified.");
  Add("The same command finishes the work.");
}

}  // namespace tavrino
