// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>

#include "firmware/FirmwareFile.h"
#include "frontend/Host.h"
#include "frontend/Outcome.h"
#include "link/FlashChip.h"
#include "link/Starter.h"
#include "link/StarterUpdate.h"
#include "run/RestoreImages.h"
#include "run/RunContext.h"
#include "run/SettingsCheck.h"
#include "settings/SettingsAreas.h"
#include "state/RecordStore.h"

namespace tavrino {

// One whole conversation with the panel for Program, Test or the unattended run.
class UpdateRun {
 public:
  UpdateRun(Host& host, FirmwareFile& file, FirmwareImage& image, SerialPort& port,
            PortChoice& ports, Link& link, Starter& starter, StarterUpdate& starterUpdate,
            SettingsAreas& settings)
      : host_(host),
        file_(file),
        image_(image),
        port_(port),
        ports_(ports),
        link_(link),
        starter_(starter),
        starterUpdate_(starterUpdate),
        settings_(settings) {}

  // The whole run, as the caller's switches say; the status log tells the person, the
  // result tells the caller.
  Outcome Perform(const RunSwitches& switches);

  // The backup command (run/Backup.cpp): both settings memories and the sector 6 copies
  // read and kept in the record format, in file or (empty) a new file of backups/; the
  // panel is not changed. An existing file is replaced only when replace is set.
  // BackupWritten names the file written.
  Outcome SettingsBackup(const std::string& file, bool replace = false);

  // The restore command (run/Restore.cpp): the settings of a backup file (a settings backup,
  // or a finished update's record) written into the panel, converted between 103 and 104
  // where its program needs it, read back, and the panel restarted; the settings it held
  // are kept as a backup. Refused for a panel of another chip or board, or settings it
  // cannot take. Unattended skips the question.
  Outcome RestoreSettings(const std::string& file, bool unattended);

  // What the last command left for its caller and its run report.
  const std::string& BackupWritten() const { return backupWritten_; }
  // The backup file of the last restore.
  const std::string& RestoreFile() const { return restoreFile_; }
  bool PortOpened() const { return ctx_.portOpened; }
  const PanelIdentity& Panel() const { return ctx_.panel; }
  // A command's report names only the panel that command found: the panel as shown is
  // forgotten as the next command begins (Restart identifies nothing).
  void ForgetPanelShown() {
    ctx_.panel.versionText.clear();
    ctx_.panel.versionShown.clear();
  }

 private:
  // The road of one run. Every phase returns true to go on; a phase that ends the run
  // has written its status and left the outcome in end_.
  Outcome Road();

  // Opening the file and the port, connecting, identifying, the keypad greeting.
  bool OpenFileAndPort();
  bool Connecting();
  bool Identification();
  // What one pass of the identification loop came to.
  enum class Identify {
    Identified,      // chip and Starter known, the Starter checked where the chip wants it
    NoAnswer,        // the panel did not answer: one more failure
    StarterUpdated,  // a new Starter, identified again from the start
    RunEnds,         // the line and the run's outcome are given
  };
  Identify IdentifyOnce();
  Identify StarterChecking();
  // The panel refused or is not supported: status on the current line, the run ends.
  Identify EndIdentification(const std::string& status);
  bool ReadStarterHeader(uint32_t& stored, uint8_t digits[2]);
  void GreetKeypad();
  void RefreshFileVersion();

  // Which program the panel holds, whether the file may and must be written.
  bool ProgramsComparison();
  bool ProgramInPanel();
  void ReadPanelVersionRecord(uint32_t address, std::string& chars, uint8_t& language);
  bool SupportedRange();
  bool DataFormatQuestion();
  bool CompareBlocks();
  bool CompareBootCopy();
  bool AskContinue();
  // A question of the comparison: asked unless the technician answered it Yes for this
  // panel and this file in the run that was cut short. True on Yes.
  bool AskUnlessAnswered(state::AnsweredQuestion which, const std::string& question);

  // Changing the panel.
  bool Erasing();
  bool Programming();
  bool WriteProgramBlock(uint32_t flashAddress, int32_t programOffset, bool skipErased);
  bool DataRecovering();
  bool DataConversion();
  // Memory 1 for writing back: converted into area 2 where the format changes, else copied.
  bool PrepareMemory1(bool refreshSumsFirst);
  // A settings memory to or from a work area, block by block; progress (span·n+span)/blocks
  // + base.
  bool ReadMemoryInto(uint8_t memory, uint32_t blocks, uint8_t area, uint16_t areaOffset,
                      int32_t span, int32_t base);
  bool WriteMemoryFrom(uint8_t memory, uint32_t blocks, uint8_t area, uint16_t areaOffset,
                       int32_t span, int32_t base);
  // Reads back what the run wrote of the settings (run/SettingsCheckPhase.cpp); nothing
  // written, no line.
  bool SettingsChecking(const WrittenSettings& written);
  // What this run has written of the settings, from its record.
  WrittenSettings WrittenThisRun() const;
  bool ConversionDue() const { return ConversionDueFrom(ctx_.panel.versionCode); }
  bool ConversionDueFrom(const std::string& panelCode) const;

  // Proving the result and ending.
  bool Verification();
  bool VerificationFailed(const std::string& status, const std::string& keypad);
  bool LocateBadByte(uint32_t block, uint32_t& address);
  Outcome Restarting();
  // "Restarting panel": the restart and the wait for the panel's program; false when the
  // panel did not take it.
  bool RestartAndWait();
  Outcome ComparisonEnd();

  // Status display, keypad and endings shared by the phases.
  void Add(const std::string& label);
  void Status(const std::string& text);
  void Progress(int32_t value, int32_t total = 0);
  void KeypadProgress(const std::string& label, int32_t percent, int32_t& nextStep,
                      int32_t stepSize);
  void Keypad(const std::string& lower, bool banner = false);
  bool Ask(const std::string& question);
  // Closes the current line with status and ends the run with outcome; always false.
  bool End(Outcome outcome, const std::string& status);
  bool EndQuietly(Outcome outcome);
  // Ends the run on a flash command that did not get done; true when it was.
  bool FlashResult(FlashStatus result);
  // A loop left early by Stop ends the run with status (never "  ok").
  bool EndIfStopped(const std::string& status);
  bool SettingsFailed();
  bool StoreSettings(uint8_t area, uint16_t offset, const uint8_t* block256);
  bool LoadSettings(uint8_t area, uint16_t offset, uint8_t* block256);
  bool FileBlockMatches(uint32_t offset, uint32_t panelAddress, bool& matches);
  bool FlashBlocksMatch(uint32_t a, uint32_t b, bool& matches);
  // The recovery record (run/Recovery.cpp): written before the first change to the panel,
  // updated at phase boundaries only, retired once the panel is whole; and the next run
  // finishing from it an update that was cut short (run/Resume.cpp).
  enum class Match { Yes, No, LineFailed };
  void ForgetRecord();
  bool UnfinishedUpdate();
  bool FinishFromRecord(uint64_t cutAt, bool settingsProven, size_t ownStarterRecords);
  bool RecordBeforeChanges();
  bool RecordStarterUpdate();
  void DescribeRun(state::RecoveryRecord& record);
  // The record names the file of this run (by its size and SHA-256).
  bool RecordIsOfThisFile() const;
  void DescribePanel(state::RecoveryRecord& record) const;
  // The port, the panel and its program's version record and data code: what every record
  // of the panel's settings (a backup, a restore) starts from.
  void DescribeSettingsSource(state::RecoveryRecord& record) const;
  std::string PortText() const;
  void RemoveStarterRecords();
  bool RecordSector6();
  bool RecordMemories();
  bool WriteRecord(state::RecordPhase phase);
  void RetireRecord();
  void SayWhatWasLeft();
  void AdoptRecordedPanel();
  bool Sector6Touched() const;
  bool MemoriesTouched() const;
  bool SettingsMemoriesDue() const { return ConversionDue() || MemoriesTouched(); }
  // A block of the sector 6 copies (n < 192) or of a settings memory, as it was before the
  // update: from the record where it holds them, else read.
  bool SavedSector6Block(uint32_t n, uint8_t* block);
  bool SettingsMemoryBlock(uint8_t memory, uint32_t n, uint8_t* block);

  // What binds a record to its panel (run/Fingerprint.cpp): the panel's own data, taken
  // before the first change, and the panel as the next run finds it.
  // Every read the matching can make: the checks, the copies and both memories.
  static constexpr int32_t kSnapshotReads = 96 + 192 + 128 + 64;
  struct PanelSnapshot {
    std::string version;              // the version record; empty until read
    std::vector<uint8_t> copyChecks;  // check values of the settings copies
    std::vector<uint8_t> copies;      // the settings copies, 192 blocks
    std::vector<uint8_t> memories;    // memory 1, then memory 2
    // The progress of the reads on the open line: made so far, and the most there can be
    // (0: no line is open for them).
    int32_t reads = 0;
    int32_t readsPlanned = kSnapshotReads;
  };
  // Whether the record's run can have left the panel as it is, and whether the panel's own
  // settings prove it (erased copies prove nothing).
  Match UpdateRecordMatches(const state::RecoveryRecord& record, bool& settingsProven);
  Match StarterRecordMatches(const state::RecoveryRecord& record);
  Match RestoreRecordMatches(const state::RecoveryRecord& record, bool& settingsProven);
  // Copies the record's run had not touched: their check values exactly as recorded; one
  // that is not of an erased block proves the settings.
  Match CopyChecksAsRecorded(const state::RecoveryRecord& record, bool& settingsProven);
  // Copies the record's runs may have written: page by page as saved, as written (or as one
  // of earlierWritten), or erased where erasedAllowed; a known page that is not erased
  // proves the settings.
  Match CopyPagesAsRecorded(const state::RecoveryRecord& record,
                            const std::vector<std::vector<uint8_t>>& earlierWritten,
                            bool erasedAllowed, bool& settingsProven);
  bool SameModel(const state::RecoveryRecord& record) const;
  bool SnapshotVersion();
  bool SnapshotCopyChecks();
  bool SnapshotCopies();
  bool SnapshotMemories();
  void SnapshotProgress();
  // The check values of the settings copies now, for a new record; false (and the line
  // says so) when the panel did not answer.
  bool TakeCopyChecks(std::vector<uint8_t>& checks);
  // Both memories as they stand before the first change, for a run that converts them.
  bool ReadSettingsForRecord();
  bool ReadVersionRecord(std::string& record);
  Outcome ReadSettingsBackup(const std::string& file, bool replace);

  // The restore's steps (run/Restore.cpp, run/RestoreSteps.cpp).
  Outcome RestoreRoad(const std::string& file);
  bool LoadBackup(const std::string& file, state::RecoveryRecord& source, BackupSettings& settings);
  bool BackupFitsPanel(const state::RecoveryRecord& source, const BackupSettings& settings);
  bool UnfinishedBeforeRestore();
  bool AskRestore(const state::RecoveryRecord& source, const BackupSettings& settings);
  bool RecordRestore(const std::string& file, const BackupSettings& settings);
  bool ReadProgramStart(std::vector<uint8_t>& bootCopy);
  bool RestoreWriting();
  void KeepEarlierSettings();
  void SayWhatRestoreLeft(Outcome outcome);
  // Unfinished restores of this panel stop a Program run (run/Resume.cpp).
  bool UnfinishedRestore(const std::vector<const state::StoredRecord*>& restores);
  // Sector 6 is written back by a restore as a Program run's settings recovery would.
  bool RestoreWritesCopies(const std::string& backupCode) const;
  Outcome ReadFailed();
  // What the panel's chip asks of the run (no chip, no rule: the run ends on an unknown one).
  bool HasBootCopyRules() const {
    const FlashChip* chip = FindFlashChip(ctx_.panel.flashType);
    return chip != nullptr && chip->bootCopyRules;
  }
  bool ErasesSector6() const {
    const FlashChip* chip = FindFlashChip(ctx_.panel.flashType);
    return chip != nullptr && chip->erasesSector6;
  }

  Host& host_;
  FirmwareFile& file_;
  FirmwareImage& image_;
  SerialPort& port_;
  PortChoice& ports_;
  Link& link_;
  Starter& starter_;
  StarterUpdate& starterUpdate_;
  SettingsAreas& settings_;

  // The switches, the panel as identified and the comparison's verdict; lives between runs.
  RunContext ctx_;
  std::string backupWritten_;
  std::string restoreFile_;

  Outcome end_ = Outcome::InternalError;
  // A run replaces the Starter at most once: a Starter that still checks bad after its
  // update would otherwise make the run update it again and again.
  bool starterUpdated_ = false;

  // Connect to a panel of either board (nothing to write, so no program half to match).
  bool anyBoard_ = false;
  state::RecordStore records_;
  state::RecoveryRecord record_;
  std::filesystem::path recordPath_;
  // A record on the host stands for this panel: the run changes it, or finishes it.
  bool recordLive_ = false;
  // Records of a Starter update of this panel (this run's, or one cut short before): they
  // go once the run's own update record stands for the panel, or the run completes.
  std::vector<std::filesystem::path> starterRecords_;
  // This run's Starter update has begun to change sector 0 and has not reconnected yet.
  bool starterUpdateOpen_ = false;
  bool programWritten_ = false;
  bool verificationBegun_ = false;
  // The panel's version record (5 characters, language) as read before any change.
  std::string panelVersionRecord_;
  // What this run has read of the panel for the records; valid until its first change.
  PanelSnapshot snapshot_;
  // Finishing a cut update: from its update record (the whole update again, from the
  // record's truth), or after a Starter update's record (the program written again).
  bool resumingUpdate_ = false;
  bool resuming_ = false;
  // The technician declined to finish a cut update: the panel stays as the record says.
  bool resumeDeclined_ = false;
  // Questions answered Yes in this run, and those the record shows answered for this panel
  // and file in the run that was cut short (AnsweredQuestion bits).
  uint8_t answered_ = 0;
  uint8_t answeredBefore_ = 0;
  // Sector 6 copies and memories as read by this run, kept for the record.
  std::vector<uint8_t> sector6Read_;
  std::vector<uint8_t> memoriesRead_;
  // The backup file a restore reads: its size and SHA-256, which bind its record to it.
  uint64_t backupSize_ = 0;
  Sha256::Digest backupHash_{};
};

}  // namespace tavrino
