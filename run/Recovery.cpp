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
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;
using state::RecordPhase;

constexpr uint32_t kBlock = kSettingsBlock;
constexpr uint32_t kVersionRecordAddress = 0x12000;
constexpr uint32_t kSignatureLength = 6;
constexpr uint16_t kMemory2InArea0 = 0x4000;
constexpr size_t kFirmwareFileMax = 4 << 20;
const std::string kErasedRecord(6, '\xFF');

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

std::string AnsweredText(uint8_t answered) {
  std::string text;
  const auto add = [&text](const char* what) {
    text += (text.empty() ? "" : ", ") + std::string(what);
  };
  if (answered & state::kAnsweredDataFormat) add("data format");
  if (answered & state::kAnsweredOlder) add("older program");
  if (answered & state::kAnsweredContinue) add("Continue ?");
  return text;
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

bool UpdateRun::UnfinishedUpdate() {
  const auto found = records_.List(state::Folder::Recovery);
  std::vector<const state::StoredRecord*> candidates;
  // The newest first: a panel cut short twice is finished from its latest record.
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    const state::RecoveryRecord& r = it->record;
    const std::string label = "Record " + it->path.filename().string() + ":";
    if (!it->Usable()) {
      // Never used, and said each time, so that nobody takes it for kept settings.
      Add(label);
      Status(it->Why());
    } else if (std::find(starterRecords_.begin(), starterRecords_.end(), it->path) !=
               starterRecords_.end()) {
      continue;  // this run's own Starter update
    } else if (r.kind == state::RecordKind::Backup || r.phase == RecordPhase::Finished) {
      continue;  // a finished update waiting for backups/: nothing to finish
    } else if (!r.Bound()) {
      // Written before records kept the panel's own data: nothing proves its panel.
      Add(label);
      Status("cannot prove its panel");
    } else {
      candidates.push_back(&*it);
    }
  }
  if (candidates.empty()) return true;

  Add("Unfinished update:");
  snapshot_.reads = 0;
  snapshot_.readsPlanned = kSnapshotReads;
  const size_t ownStarterRecords = starterRecords_.size();
  uint64_t cutAt = 0;
  bool settingsProven = false;
  for (const state::StoredRecord* stored : candidates) {
    const state::RecoveryRecord& r = stored->record;
    if (r.kind == state::RecordKind::Update && recordLive_) continue;
    bool proven = false;
    const Match match = r.kind == state::RecordKind::StarterUpdate ? StarterRecordMatches(r)
                                                                   : UpdateRecordMatches(r, proven);
    if (match == Match::LineFailed) return End(Outcome::NoConnection, texts::kNoConnection);
    if (match == Match::No) continue;
    if (r.kind == state::RecordKind::StarterUpdate) {
      starterRecords_.push_back(stored->path);
      if (!recordLive_) cutAt = std::max(cutAt, r.writtenAt);
      continue;
    }
    record_ = r;
    recordPath_ = stored->path;
    recordLive_ = true;
    settingsProven = proven;
    cutAt = r.writtenAt;
  }
  if (!recordLive_ && starterRecords_.size() == ownStarterRecords) {
    Status("other panel");
    return true;
  }
  Status(state::TimeText(cutAt));
  return FinishFromRecord(cutAt, settingsProven, ownStarterRecords);
}

bool UpdateRun::FinishFromRecord(uint64_t cutAt, bool settingsProven, size_t ownStarterRecords) {
  const auto leaveAlone = [&] {
    // The records and the panel stay as they are, for a later run.
    recordLive_ = false;
    starterRecords_.resize(ownStarterRecords);
  };
  // Copies that are erased prove nothing of the settings: with nothing to convert the
  // update finishes all the same (such panels cannot be told apart, and nothing of their
  // settings is changed), but a conversion needs its settings proven.
  if (recordLive_ && !settingsProven && ConversionDueFrom(record_.dataCode)) {
    leaveAlone();
    Add("Not proven: this file would convert the settings.");
    Add("Finish the update with the file it was begun with.");
    return EndQuietly(Outcome::FileRejected);
  }
  const std::string question =
      recordLive_ ? "The update of this panel of " + state::TimeText(cutAt) +
                        " was cut short.\rIts settings are kept on this computer.\r\r"
                        "Finish the update ?"
                  : "The Starter update of this panel of " + state::TimeText(cutAt) +
                        " was cut short.\rIts program may be incomplete.\r\rFinish the update ?";
  if (!Unattended && !Ask(question)) {
    leaveAlone();
    resumeDeclined_ = true;
    return EndQuietly(Outcome::Declined);
  }
  resuming_ = true;
  if (!recordLive_) return true;
  // The whole update again, from the record's truth. The comparison's questions are asked
  // as in a normal run, but for those answered Yes for this panel and this file before.
  resumingUpdate_ = true;
  uint64_t size = 0;
  Sha256::Digest hash{};
  FileIdentity(file_.FirmwareFileName, size, hash);
  const bool sameFile = size == record_.fileSize && hash == record_.fileHash;
  answeredBefore_ = !Unattended && sameFile ? record_.answered : 0;
  if (answeredBefore_ != 0) {
    Add("Answered before the cut:");
    Status(AnsweredText(answeredBefore_));
  }
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
  FileIdentity(file_.FirmwareFileName, r.fileSize, r.fileHash);
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
  // What binds it to the panel: nothing of it is changed by the Starter update.
  if (!ReadVersionRecord(r.panelVersionRecord))
    return End(Outcome::NoConnection, texts::kNoConnection);
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
    const bool memory2 = n < kMemory2Blocks;
    const auto offset = static_cast<uint16_t>(memory2 ? kMemory2InArea0 + kBlock * n
                                                      : kBlock * (n - kMemory2Blocks));
    if (!LoadSettings(memory2 ? SettingsAreas::kMemory2Area : SettingsAreas::kNewMemory1Area,
                      offset, written.data() + state::kBootCopyBytes + kBlock * n))
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
                      static_cast<uint16_t>(kMemory2InArea0 + kBlock * n),
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
  const os::Failure failure = records_.Retire(recordPath_, record_);
  if (failure.empty()) return;
  // Where the backup cannot go, the record still tells the truth: the update is finished,
  // and the next run must not do it again.
  records_.Write(recordPath_, record_);
  Add("Settings backup:");
  Status("failed: " + state::ShortReason(failure));
}

void UpdateRun::SayWhatWasLeft() {
  if (resumeDeclined_) {
    Add("Not finished: the panel's update is incomplete.");
    Add("The same command finishes the work.");
    return;
  }
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
