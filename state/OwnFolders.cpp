// SPDX-License-Identifier: GPL-2.0-or-later
#include "state/OwnFolders.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

namespace tavrino::state {

namespace fs = std::filesystem;

os::Failure MakeOwnFolder(const fs::path& root, const fs::path& dir) {
  for (const fs::path& folder : {root, dir}) {
    if (folder.empty()) continue;
    if (os::Failure made = os::MakePrivateDir(folder); !made.empty()) return made;
    if (os::Failure refused = os::CheckOwnFolder(folder); !refused.empty()) return refused;
  }
  return {};
}

os::Failure CheckOwnFolders(const fs::path& root, const fs::path& dir, bool& exists) {
  exists = false;
  for (const fs::path& folder : {root, dir}) {
    if (folder.empty()) continue;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(folder, error);
    if (status.type() == fs::file_type::not_found) return {};
    if (os::Failure refused = os::CheckOwnFolder(folder); !refused.empty()) return refused;
  }
  exists = true;
  return {};
}

os::Failure ClaimNewName(const fs::path& dir, const std::function<std::string(int)>& name,
                         int tries, fs::path& path) {
  path.clear();
  for (int n = 0; n < tries; ++n) {
    const fs::path candidate = dir / name(n);
    bool taken = false;
    const os::Failure failure = os::CreateNewFile(candidate, taken);
    if (failure.empty()) {
      path = candidate;
      return {};
    }
    if (!taken) return failure;
  }
  return "cannot create a file in " + dir.string() + ": no free name";
}

size_t PruneOldest(const fs::path& dir, size_t keep,
                   const std::function<bool(const std::string&)>& counts,
                   const fs::path& justMade) {
  std::vector<std::pair<fs::file_time_type, fs::path>> files;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    std::error_code own;
    if (it->symlink_status(own).type() != fs::file_type::regular) continue;
    if (!counts(it->path().filename().string())) continue;
    if (!justMade.empty() && it->path().filename() == justMade.filename()) continue;
    const fs::file_time_type written = it->last_write_time(own);
    if (own) continue;  // gone meanwhile, or not ours to judge
    files.emplace_back(written, it->path());
  }
  // The file just made is one of those kept.
  const size_t keepOthers = justMade.empty() || keep == 0 ? keep : keep - 1;
  if (files.size() <= keepOthers) return 0;
  std::sort(files.begin(), files.end());
  size_t removed = 0;
  for (size_t i = 0; i + keepOthers < files.size(); ++i)
    if (os::RemoveFile(files[i].second).empty()) ++removed;
  return removed;
}

size_t RemoveLeftovers(const fs::path& dir, const std::function<bool(const std::string&)>& counts) {
  size_t removed = os::RemoveAbandonedTemporaries(dir);
  const fs::file_time_type abandonedBefore =
      fs::file_time_type::clock::now() - kClaimAbandonedAfter;
  std::vector<fs::path> unfilled;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    if (!counts(it->path().filename().string())) continue;
    std::error_code own;
    if (it->symlink_status(own).type() != fs::file_type::regular || own) continue;
    if (it->file_size(own) != 0 || own) continue;
    const fs::file_time_type claimed = it->last_write_time(own);
    if (!own && claimed < abandonedBefore) unfilled.push_back(it->path());
  }
  for (const fs::path& path : unfilled)
    if (os::RemoveFile(path).empty()) ++removed;
  return removed;
}

}  // namespace tavrino::state
