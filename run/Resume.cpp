// SPDX-License-Identifier: GPL-2.0-or-later
// The next run after an update was cut short: it finds the record that stands for the
// panel on the line (run/Fingerprint.cpp says which), asks first, and does the whole update
// again from the record's truth; or it leaves every other record alone and goes on as a
// normal run. A run cut short says what it left and how to finish.
#include <algorithm>

#include "firmware/Version.h"
#include "frontend/Texts.h"
#include "run/RecordLine.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using state::RecordPhase;

const std::string kErasedRecord(6, '\xFF');

// On the "Answered before the cut:" line: all three fit beside the label.
std::string AnsweredText(uint8_t answered) {
  std::string text;
  const auto add = [&text](const char* what) {
    text += (text.empty() ? "" : ", ") + std::string(what);
  };
  if (answered & state::kAnsweredDataFormat) add("data format");
  if (answered & state::kAnsweredOlder) add("older");
  if (answered & state::kAnsweredContinue) add("Continue ?");
  return text;
}

}  // namespace

bool UpdateRun::UnfinishedUpdate() {
  const auto found = records_.List(state::Folder::Recovery);
  std::vector<const state::StoredRecord*> candidates;
  std::vector<const state::StoredRecord*> restores;
  // The newest first: a panel cut short twice is finished from its latest record.
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    const state::RecoveryRecord& r = it->record;
    if (!it->Usable()) {
      // Never used, and said each time, so that nobody takes it for kept settings.
      SayUnusableRecord(host_, *it);
    } else if (std::find(starterRecords_.begin(), starterRecords_.end(), it->path) !=
               starterRecords_.end()) {
      continue;  // this run's own Starter update
    } else if (r.kind == state::RecordKind::Backup || r.phase == RecordPhase::Finished) {
      // A finished update whose backup could not be filed when it ended: nothing to finish,
      // and filed now where it can be (else it waits, as it did).
      if (r.phase == RecordPhase::Finished) records_.Retire(it->path, r);
      continue;
    } else if (!r.Bound()) {
      // Written before records kept the panel's own data: nothing proves its panel.
      SayUnusableRecord(host_, *it, "cannot prove its panel");
    } else {
      (r.kind == state::RecordKind::Restore ? restores : candidates).push_back(&*it);
    }
  }
  if (!UnfinishedRestore(restores)) return false;
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

bool UpdateRun::UnfinishedRestore(const std::vector<const state::StoredRecord*>& restores) {
  if (restores.empty()) return true;
  Add("Unfinished restore:");
  snapshot_.reads = 0;
  snapshot_.readsPlanned = kSnapshotReads;
  for (const state::StoredRecord* stored : restores) {
    bool proven = false;
    const Match match = RestoreRecordMatches(stored->record, proven);
    if (match == Match::LineFailed) return End(Outcome::NoConnection, texts::kNoConnection);
    if (match == Match::No || !proven) continue;
    // Its settings are half written: a conversion would carry them over as they are, and
    // the restore could no longer prove its panel.
    Status(state::TimeText(stored->record.writtenAt));
    Add("Finish the restore with the same backup first.");
    return EndQuietly(Outcome::Refused);
  }
  Status("other panel");
  return true;
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
    return EndQuietly(Outcome::FileCannotFinishUpdate);
  }
  const std::string question =
      recordLive_ ? "The update of this panel of " + state::TimeText(cutAt) +
                        " was cut short.\rIts settings are kept on this computer.\r\r"
                        "Finish the update ?"
                  : "The Starter update of this panel of " + state::TimeText(cutAt) +
                        " was cut short.\rIts program may be incomplete.\r\rFinish the update ?";
  if (!ctx_.switches.unattended && !Ask(question)) {
    leaveAlone();
    resumeDeclined_ = true;
    return EndQuietly(Outcome::Declined);
  }
  resuming_ = true;
  if (!recordLive_) return true;
  // The whole update again, from the record's truth. The comparison's questions are asked
  // as in a normal run, but for those answered Yes for this panel and this file before.
  resumingUpdate_ = true;
  answeredBefore_ = !ctx_.switches.unattended && RecordIsOfThisFile() ? record_.answered : 0;
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
  ctx_.panel.versionCode = record_.dataCode;
  const std::string& v = record_.panelVersionRecord;
  if (v.size() == 6 && v != kErasedRecord) {
    ctx_.panel.language = static_cast<uint8_t>(v[5]);
    ctx_.panel.versionText = VersionText(v.substr(0, 5), ctx_.panel.language);
  }
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
