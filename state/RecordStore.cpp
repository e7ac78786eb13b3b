// SPDX-License-Identifier: GPL-2.0-or-later
#include "state/RecordStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <system_error>
#include <utility>

#include "state/OwnFolders.h"

namespace tavrino::state {

namespace fs = std::filesystem;

namespace {

const char* FolderName(Folder folder) {
  return folder == Folder::Recovery ? "recovery" : "backups";
}

constexpr int kNamesPerSecond = 100;

StoredRecord Decoded(const fs::path& path, os::Failure readFailure,
                     const std::vector<uint8_t>& bytes) {
  StoredRecord stored;
  stored.path = path;
  stored.readFailure = std::move(readFailure);
  if (stored.readFailure.empty()) stored.problem = DecodeRecord(bytes, stored.record);
  return stored;
}

bool IsRecordName(const std::string& name) {
  return fs::path(name).extension() == RecordStore::kExtension;
}

// Where a file the user names is: its folder, "." for a bare name.
fs::path FolderOf(const fs::path& file) {
  const fs::path folder = file.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

std::string StoredRecord::Why() const {
  return readFailure.empty() ? ProblemText(problem) : readFailure;
}

StoredRecord ReadRecordFile(const fs::path& path) {
  std::vector<uint8_t> bytes;
  os::Failure failure = os::ReadWholeFile(path, kRecordMaxBytes, bytes);
  return Decoded(path, std::move(failure), bytes);
}

fs::path RecordStore::Dir(Folder folder, os::Failure& failure) const {
  failure.clear();
  const fs::path root = root_.empty() ? os::StateDir(failure) : root_;
  if (root.empty()) return {};
  return root / FolderName(folder);
}

os::Failure RecordStore::NewPath(Folder folder, uint64_t unixSeconds, fs::path& path) const {
  os::Failure failure;
  const fs::path dir = Dir(folder, failure);
  if (dir.empty()) return failure;
  if (auto made = MakeOwnFolder(dir.parent_path(), dir); !made.empty()) return made;
  RemoveLeftovers(dir, IsRecordName);
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm utc{};
  if (const std::tm* t = std::gmtime(&seconds)) utc = *t;
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  const auto name = [&stamp](int n) {
    char text[48];
    std::snprintf(text, sizeof text, "%s-%02d%s", stamp, n, kExtension);
    return std::string(text);
  };
  return ClaimNewName(dir, name, kNamesPerSecond, path);
}

os::Failure RecordStore::Write(const fs::path& path, const RecoveryRecord& record) const {
  os::Failure failure;
  // The folders may have been swapped since the name was claimed.
  for (const fs::path& folder : {path.parent_path().parent_path(), path.parent_path()}) {
    if (folder.empty() || !failure.empty()) continue;
    failure = os::CheckOwnFolder(folder);
  }
  if (failure.empty()) failure = os::WriteFileAtomically(path, EncodeRecord(record));
  // A name claimed for this record and never filled is let go; a record written before
  // stays as it was.
  std::error_code error;
  if (!failure.empty() && fs::symlink_status(path, error).type() == fs::file_type::regular &&
      fs::file_size(path, error) == 0 && !error)
    os::RemoveFile(path);
  return failure;
}

std::vector<StoredRecord> RecordStore::List(Folder folder) const {
  std::vector<StoredRecord> found;
  os::Failure failure;
  const fs::path dir = Dir(folder, failure);
  if (dir.empty()) return found;
  bool exists = false;
  if (os::Failure refused = CheckOwnFolders(dir.parent_path(), dir, exists); !refused.empty()) {
    found.push_back(Decoded(dir, refused, {}));
    return found;
  }
  if (!exists) return found;
  RemoveLeftovers(dir, IsRecordName);
  std::vector<fs::path> paths;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    if (!IsRecordName(it->path().filename().string())) continue;
    std::error_code own;
    if (it->symlink_status(own).type() == fs::file_type::regular && it->file_size(own) == 0 && !own)
      continue;  // a claimed name, not yet a record
    paths.push_back(it->path());
  }
  std::sort(paths.begin(), paths.end());
  for (const auto& p : paths) {
    std::vector<uint8_t> bytes;
    os::Failure unread = os::ReadOwnFile(p, kRecordMaxBytes, bytes);
    found.push_back(Decoded(p, std::move(unread), bytes));
  }
  return found;
}

os::Failure RecordStore::Retire(const fs::path& recordPath, const RecoveryRecord& record,
                                size_t& pruned, fs::path* made) const {
  pruned = 0;
  fs::path backup;
  if (auto named = NewPath(Folder::Backups, record.writtenAt, backup); !named.empty()) return named;
  if (auto written = Write(backup, record); !written.empty()) return written;
  // Only once the backup is safe does the record go.
  if (auto removed = os::RemoveFile(recordPath); !removed.empty()) return removed;
  pruned = PruneBackups(backup);
  if (made != nullptr) *made = backup;
  return {};
}

os::Failure RecordStore::Retire(const fs::path& recordPath, const RecoveryRecord& record) const {
  size_t pruned = 0;
  return Retire(recordPath, record, pruned);
}

size_t RecordStore::PruneBackups(const fs::path& justMade) const {
  os::Failure failure;
  const fs::path dir = Dir(Folder::Backups, failure);
  bool exists = false;
  // Nothing is removed where another user may have put the files.
  if (dir.empty() || !CheckOwnFolders(dir.parent_path(), dir, exists).empty() || !exists) return 0;
  return PruneOldest(dir, kBackupsKept, IsRecordName, justMade);
}

os::Failure CheckBackupTarget(const fs::path& file, bool replace) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(file, error);
  const std::string named = "the backup file " + file.string();
  switch (status.type()) {
    case fs::file_type::not_found:
      break;
    case fs::file_type::regular:
      if (!replace) return named + " exists; add --force to replace it";
      break;
    case fs::file_type::directory:
      return named + " is a folder";
    case fs::file_type::symlink:
      return named + " is a link; name the file itself";
    default:
      if (error) return "cannot use " + named + ": " + error.message();
      return named + " is not a regular file (a device, a FIFO or a socket)";
  }
  // A file claimed and let go at once: the one way to know that the folder takes a new
  // file, whoever the user is (root passes every permission check but a read-only disk).
  const fs::path folder = FolderOf(file);
  fs::path probe;
  const auto name = [&file](int n) {
    // Appended piece by piece: GCC 12's -Wrestrict misreads the chain of operator+ here.
    std::string probeName = ".";
    probeName += file.filename().string();
    probeName += ".probe";
    probeName += std::to_string(n);
    return probeName;
  };
  if (os::Failure failure = ClaimNewName(folder, name, kNamesPerSecond, probe); !failure.empty())
    return "cannot write in the folder " + folder.string() + ": " + ShortReason(failure);
  os::RemoveFile(probe);
  return {};
}

os::Failure WriteBackupFile(const fs::path& file, const RecoveryRecord& record, bool replace) {
  bool claimed = false;
  if (!replace) {
    // Claimed first, so that a file that appeared while the panel was read stays whole.
    bool taken = false;
    if (os::Failure failure = os::CreateNewFile(file, taken); !failure.empty())
      return taken ? "the backup file " + file.string() + " exists; add --force to replace it"
                   : failure;
    claimed = true;
  } else {
    std::error_code error;
    const fs::file_type type = fs::symlink_status(file, error).type();
    if (type != fs::file_type::regular && type != fs::file_type::not_found)
      return "the backup file " + file.string() + " is not a regular file";
  }
  const std::vector<uint8_t> bytes = EncodeRecord(record);
  os::Failure failure = os::WriteFileAtomically(file, bytes);
  if (!failure.empty() && claimed) os::RemoveFile(file);
  return failure;
}

std::string ShortReason(const os::Failure& failure) {
  const size_t colon = failure.rfind(": ");
  return colon == std::string::npos ? failure : failure.substr(colon + 2);
}

std::string TimeText(uint64_t unixSeconds) {
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
  if (const std::tm* t = std::localtime(&seconds)) local = *t;
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

uint64_t NowSeconds() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace tavrino::state
