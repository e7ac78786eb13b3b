// SPDX-License-Identifier: GPL-2.0-or-later
#include "state/RecordStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace tavrino::state {

namespace fs = std::filesystem;

namespace {

const char* FolderName(Folder folder) {
  return folder == Folder::Recovery ? "recovery" : "backups";
}

constexpr int kNamesPerSecond = 100;

}  // namespace

std::string StoredRecord::Why() const {
  return readFailure.empty() ? ProblemText(problem) : readFailure;
}

StoredRecord ReadRecordFile(const fs::path& path) {
  StoredRecord stored;
  stored.path = path;
  std::vector<uint8_t> bytes;
  stored.readFailure = os::ReadWholeFile(path, kRecordMaxBytes, bytes);
  if (stored.readFailure.empty()) stored.problem = DecodeRecord(bytes, stored.record);
  return stored;
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
  if (auto made = os::MakePrivateDir(dir); !made.empty()) return made;
  const auto seconds = static_cast<std::time_t>(unixSeconds);
  std::tm utc{};
  if (const std::tm* t = std::gmtime(&seconds)) utc = *t;
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  for (int n = 0; n < kNamesPerSecond; ++n) {
    char name[48];
    std::snprintf(name, sizeof name, "%s-%02d%s", stamp, n, kExtension);
    std::error_code error;
    if (!fs::exists(dir / name, error)) {
      path = dir / name;
      return {};
    }
  }
  return "no free record name in " + dir.string();
}

os::Failure RecordStore::Write(const fs::path& path, const RecoveryRecord& record) const {
  if (auto made = os::MakePrivateDir(path.parent_path()); !made.empty()) return made;
  const std::vector<uint8_t> bytes = EncodeRecord(record);
  return os::WriteFileAtomically(path, bytes);
}

std::vector<StoredRecord> RecordStore::List(Folder folder) const {
  std::vector<StoredRecord> found;
  os::Failure failure;
  const fs::path dir = Dir(folder, failure);
  std::error_code error;
  if (dir.empty() || !fs::is_directory(dir, error)) return found;
  std::vector<fs::path> paths;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
    if (it->path().extension() == kExtension) paths.push_back(it->path());
  std::sort(paths.begin(), paths.end());
  for (const auto& p : paths) found.push_back(ReadRecordFile(p));
  return found;
}

os::Failure RecordStore::Retire(const fs::path& recordPath, const RecoveryRecord& record) const {
  fs::path backup;
  if (auto named = NewPath(Folder::Backups, record.writtenAt, backup); !named.empty()) return named;
  if (auto written = Write(backup, record); !written.empty()) return written;
  // Only once the backup is safe does the record go.
  if (auto removed = os::RemoveFile(recordPath); !removed.empty()) return removed;
  PruneBackups();
  return {};
}

void RecordStore::PruneBackups() const {
  os::Failure failure;
  const fs::path dir = Dir(Folder::Backups, failure);
  std::error_code error;
  if (dir.empty() || !fs::is_directory(dir, error)) return;
  std::vector<fs::path> paths;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
    if (it->path().extension() == kExtension) paths.push_back(it->path());
  if (paths.size() <= kBackupsKept) return;
  std::sort(paths.begin(), paths.end());
  for (size_t i = 0; i + kBackupsKept < paths.size(); ++i) os::RemoveFile(paths[i]);
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
