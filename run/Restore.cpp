// SPDX-License-Identifier: GPL-2.0-or-later
// The restore command: a settings backup written back into a panel. The file is checked
// before the port is opened, the panel identified as a Program run does, and the backup
// refused where it does not belong (another chip or board, settings the panel's program
// cannot take). A restore cut short is finished by the next restore with the same file,
// from its own record, on the panel that record's data proves; any other unfinished work
// on the panel stops it.
#include "firmware/Version.h"
#include "frontend/Texts.h"
#include "link/FlashChip.h"
#include "os/HostOs.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using state::RecordKind;

const std::string kErasedProgram(5, '\xFF');

std::string BoardText(bool secondHalf) {
  return secondHalf ? "24 MHz" : "12 MHz";
}

}  // namespace

Outcome UpdateRun::RestoreSettings(const std::string& file, bool unattended) {
  restoreFile_ = file;
  ctx_.switches = RunSwitches::Settings(unattended);
  anyBoard_ = true;  // the backup, not a firmware file, says which board it is for
  const Outcome outcome = RestoreRoad(file);
  anyBoard_ = false;
  if (!Completed(outcome)) SayWhatRestoreLeft(outcome);
  return host_.Stopped() ? Outcome::Stopped : outcome;
}

Outcome UpdateRun::RestoreRoad(const std::string& file) {
  ctx_.verdict.forceProgram = ctx_.verdict.sameProgram = ctx_.verdict.fileIsNewer =
      ctx_.verdict.recoverData = false;
  ctx_.portOpened = false;
  settings_.Reset();
  ForgetRecord();
  state::RecoveryRecord source;
  BackupSettings settings;
  // A damaged or foreign file never reaches the panel: it is judged before the port opens.
  if (!LoadBackup(file, source, settings)) return end_;
  ctx_.portOpened = ports_.ChoosePort();
  if (!ctx_.portOpened) return Outcome::PortNotOpened;
  if (!Connecting() || !Identification() || !ProgramInPanel()) return end_;
  if (!BackupFitsPanel(source, settings) || !UnfinishedBeforeRestore() ||
      !AskRestore(source, settings))
    return end_;
  if (!resuming_ && !RecordRestore(file, settings)) return end_;
  if (!RestoreWriting()) return end_;
  WrittenSettings written;
  written.sector6 = record_.sector6Written;
  written.memories = record_.memoriesWritten;
  written.erasesSector6 = ErasesSector6();
  if (!SettingsChecking(written)) return end_;
  KeepEarlierSettings();
  const bool restarted = RestartAndWait();
  if (!ctx_.switches.unattended) host_.ui.AskUser("Settings restored.", true);
  return restarted ? Outcome::Restored : Outcome::NoConnection;
}

bool UpdateRun::LoadBackup(const std::string& file, state::RecoveryRecord& source,
                           BackupSettings& settings) {
  Add("Settings backup:");
  std::vector<uint8_t> bytes;
  const os::Failure unread = os::ReadWholeFile(file, state::kRecordMaxBytes, bytes);
  std::string refused = unread.empty() ? std::string() : state::ShortReason(unread);
  if (refused.empty()) {
    const state::RecordProblem problem = state::DecodeRecord(bytes, source);
    if (problem != state::RecordProblem::None) refused = state::ProblemText(problem);
  }
  if (refused.empty()) refused = SettingsOfRecord(source, settings);
  if (!refused.empty()) {
    Status(refused);
    return EndQuietly(Outcome::FileRejected);
  }
  backupSize_ = bytes.size();
  backupHash_ = Sha256::Of(bytes);
  Status(state::TimeText(source.writtenAt) + ", data " + settings.dataCode);
  return true;
}

bool UpdateRun::RestoreWritesCopies(const std::string& backupCode) const {
  // As a Program run's settings recovery: where the format changes, or where the chip
  // keeps sector 6 only through an erase.
  return CodesConvert(backupCode, ctx_.panel.versionCode) || ErasesSector6();
}

bool UpdateRun::BackupFitsPanel(const state::RecoveryRecord& source,
                                const BackupSettings& settings) {
  std::string refused;
  const FlashChip* chip = FindFlashChip(source.flashType);
  if (source.flashType != ctx_.panel.flashType)
    refused = std::string("the backup's FLASH type is ") + (chip ? chip->name : "another");
  else if (source.secondHalf != starter_.OnSecondHalf())
    refused = "the backup is of a " + BoardText(source.secondHalf) + " board";
  else if (ctx_.panel.versionRecord.substr(0, 5) == kErasedProgram)
    refused = "the panel holds no program";
  else if (!CodesMeet(settings.dataCode, ctx_.panel.versionCode))
    refused = "data " + settings.dataCode + " cannot go into data " + ctx_.panel.versionCode;
  else if (RestoreWritesCopies(settings.dataCode) &&
           settings.copies.size() != state::kSector6SavedBytes)
    refused = "the backup holds no copies for sector 6";
  if (refused.empty()) return true;
  Add("Refused: " + refused + ".");
  return EndQuietly(Outcome::Refused);
}

bool UpdateRun::UnfinishedBeforeRestore() {
  const auto found = records_.List(state::Folder::Recovery);
  std::vector<const state::StoredRecord*> candidates;
  // The newest first: a restore cut short twice is finished from its latest record.
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    const state::RecoveryRecord& r = it->record;
    const std::string label = "Record " + it->path.filename().string() + ":";
    if (!it->Usable()) {
      Add(label);
      Status(it->Why());
    } else if (r.kind == RecordKind::Backup || r.phase == state::RecordPhase::Finished) {
      continue;
    } else if (!r.Bound()) {
      Add(label);
      Status("cannot prove its panel");
    } else {
      candidates.push_back(&*it);
    }
  }
  if (candidates.empty()) return true;

  Add("Unfinished work:");
  snapshot_.reads = 0;
  snapshot_.readsPlanned = kSnapshotReads;
  const state::StoredRecord* finish = nullptr;
  for (const state::StoredRecord* stored : candidates) {
    const state::RecoveryRecord& r = stored->record;
    bool proven = false;
    const Match match = r.kind == RecordKind::StarterUpdate ? StarterRecordMatches(r)
                        : r.kind == RecordKind::Update      ? UpdateRecordMatches(r, proven)
                                                            : RestoreRecordMatches(r, proven);
    if (match == Match::LineFailed) return End(Outcome::NoConnection, texts::kNoConnection);
    // Erased settings prove nothing of a panel: such a record is left alone.
    if (match == Match::No || (r.kind == RecordKind::Restore && !proven)) continue;
    const bool sameFile = r.fileSize == backupSize_ && r.fileHash == backupHash_;
    if (r.kind != RecordKind::Restore || !sameFile) {
      // The panel is in the middle of other work; what a restore would write over it is
      // not known to be what anyone wants.
      const bool restore = r.kind == RecordKind::Restore;
      Status((restore ? "restore " : "update ") + state::TimeText(r.writtenAt));
      Add(restore ? "Refused: finish that restore with its own backup first."
                  : "Refused: finish the panel's update (Program) first.");
      return EndQuietly(Outcome::Refused);
    }
    if (finish == nullptr) finish = stored;
  }
  if (finish == nullptr) {
    Status("other panel");
    return true;
  }
  Status("restore " + state::TimeText(finish->record.writtenAt));
  record_ = finish->record;
  recordPath_ = finish->path;
  recordLive_ = true;
  resuming_ = true;
  return true;
}

bool UpdateRun::AskRestore(const state::RecoveryRecord& source, const BackupSettings& settings) {
  if (ctx_.switches.unattended) return true;
  const std::string converted = CodesConvert(settings.dataCode, ctx_.panel.versionCode)
                                    ? "\rIts settings are converted from data " +
                                          settings.dataCode + " to data " + ctx_.panel.versionCode +
                                          "."
                                    : "";
  const FlashChip* chip = FindFlashChip(ctx_.panel.flashType);
  const std::string panel = std::string(chip ? chip->name : "") + ", " + ctx_.panel.versionShown +
                            ", " + BoardText(starter_.OnSecondHalf());
  const std::string question =
      resuming_ ? "The restore of this panel of " + state::TimeText(record_.writtenAt) +
                      " was cut short.\rIts settings are kept on this computer.\r\r"
                      "Finish the restore ?"
                : "Restore the settings of the backup of " + state::TimeText(source.writtenAt) +
                      "\rinto this panel (" + panel + ") ?" + converted +
                      "\r\rThe settings it holds now are replaced;\r"
                      "they are kept on this computer.\r\rContinue ?";
  return Ask(question) || EndQuietly(Outcome::Declined);
}

void UpdateRun::SayWhatRestoreLeft(Outcome outcome) {
  // A failed check has said what it kept; before its record nothing was changed.
  if (outcome == Outcome::SettingsDiffer || !recordLive_) return;
  Add("Cut short: the panel's settings are incomplete.");
  Add("The same command finishes the work.");
}

}  // namespace tavrino
