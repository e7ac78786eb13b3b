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
  // A free name in the folder for a record written at unixSeconds: YYYYMMDD-HHMMSS-NN
  // (UTC), so that names sort by time. Creates the folder (private).
  os::Failure NewPath(Folder folder, uint64_t unixSeconds, std::filesystem::path& path) const;
  // The folder made private, then the record written atomically (0600).
  os::Failure Write(const std::filesystem::path& path, const RecoveryRecord& record) const;
  // Every record file of the folder, oldest first. A missing folder holds none.
  std::vector<StoredRecord> List(Folder folder) const;
  // The finished record becomes a settings backup; the record file goes, and backups/
  // keeps its newest kBackupsKept.
  os::Failure Retire(const std::filesystem::path& recordPath, const RecoveryRecord& record) const;
  // Keeps the newest kBackupsKept in backups/.
  void PruneBackups() const;

 private:
  std::filesystem::path root_;
};

// Reads one file as a record (the backup command's FILE, a listed file).
StoredRecord ReadRecordFile(const std::filesystem::path& path);

// The system's reason of a failure without the path before it ("No space left on device"),
// short enough for a status line.
std::string ShortReason(const os::Failure& failure);

// The time as the technician reads it: local time, "2026-12-10 13:55".
std::string TimeText(uint64_t unixSeconds);
// Seconds since 1970 now.
uint64_t NowSeconds();

}  // namespace tavrino::state
