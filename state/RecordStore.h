// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Where the host keeps recovery records and settings backups, and how they come and go:
// recovery/ holds one record per update that has not finished, backups/ the finished ones
// and those taken by the backup command (the newest kBackupsKept). Folders are private to
// the user, every file is written whole or not at all.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "os/HostOs.h"
#include "state/RecoveryRecord.h"

namespace tavrino::state {

enum class Folder { Recovery, Backups };

// One file found in a folder: its record, or why it cannot be used.
struct StoredRecord {
  std::filesystem::path path;
  RecordProblem problem = RecordProblem::None;
  os::Failure readFailure;  // the file could not be read at all
  RecoveryRecord record;
  bool Usable() const { return readFailure.empty() && problem == RecordProblem::None; }
  // "checksum wrong", or the system's reason when it could not be read.
  std::string Why() const;
};

class RecordStore {
 public:
  static constexpr size_t kBackupsKept = 20;
  static constexpr const char* kExtension = ".tavrec";

  // root: the state folder; empty means os::StateDir() as it stands at each use, so that
  // the environment of the moment decides.
  explicit RecordStore(std::filesystem::path root = {}) : root_(std::move(root)) {}

  std::filesystem::path Dir(Folder folder, os::Failure& failure) const;
  // A new name in the folder for a record written at unixSeconds: YYYYMMDD-HHMMSS-NN
  // (UTC), so that names sort by time. Makes the folders (private) and refuses folders that
  // cannot be trusted. The name is claimed at once, as an empty private file created
  // exclusively, so that two runs at once never share a record; Write fills it. What runs
  // that ended mid-write left in the folder goes first (see RemoveLeftovers).
  os::Failure NewPath(Folder folder, uint64_t unixSeconds, std::filesystem::path& path) const;
  // The record written atomically (0600) over path, while its folder can be trusted. When
  // it cannot be written, a record written there before stays as it was, and a name claimed
  // and never filled is let go.
  os::Failure Write(const std::filesystem::path& path, const RecoveryRecord& record) const;
  // Every record file of the folder, oldest first. A missing folder holds none. A folder
  // that cannot be trusted (a link, another user's, writable by others) is one entry that
  // says so, and none of its files is read; a file that is not the user's alone is refused
  // like a damaged one. An empty file is a name claimed by a run that has not written its
  // record yet: not a record, and left out. What runs that ended mid-write left in a
  // trusted folder is removed (see RemoveLeftovers).
  std::vector<StoredRecord> List(Folder folder) const;
  // The finished record becomes a settings backup; the record file goes, and backups/
  // keeps its newest kBackupsKept, the new backup always among them. pruned gets how many
  // older backups went, made (where given) the backup's path.
  os::Failure Retire(const std::filesystem::path& recordPath, const RecoveryRecord& record,
                     size_t& pruned, std::filesystem::path* made = nullptr) const;
  os::Failure Retire(const std::filesystem::path& recordPath, const RecoveryRecord& record) const;
  // Keeps the newest kBackupsKept in backups/ by the time each was written, never removing
  // justMade (the backup just written, whatever the clock made of its time). Returns how
  // many were removed.
  size_t PruneBackups(const std::filesystem::path& justMade = {}) const;

 private:
  std::filesystem::path root_;
};

// Reads one file as a record, wherever it is (a file the user names).
StoredRecord ReadRecordFile(const std::filesystem::path& path);

// Why the backup command may not keep the settings in file; empty when it may. Asked before
// the panel is read: file must be a regular file or not be there (a device, a FIFO, a
// folder or a link is refused), an existing file is replaced only when replace is set, and
// the folder it is in must exist and take a new file. Nothing is changed.
os::Failure CheckBackupTarget(const std::filesystem::path& file, bool replace);
// The settings backup written into the file the user named: atomically, private (0600), and
// only over a regular file, and only when replace is set; the folder stays as it is.
os::Failure WriteBackupFile(const std::filesystem::path& file, const RecoveryRecord& record,
                            bool replace);

// The system's reason of a failure without the path before it ("No space left on device"),
// short enough for a status line.
std::string ShortReason(const os::Failure& failure);

// The time as the technician reads it: local time, "2026-12-10 13:55".
std::string TimeText(uint64_t unixSeconds);
// Seconds since 1970 now.
uint64_t NowSeconds();

}  // namespace tavrino::state
