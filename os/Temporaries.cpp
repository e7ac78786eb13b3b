// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/Temporaries.h"

#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "os/HostOs.h"

namespace tavrino::os::detail {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMark = ".tmp";

bool AllDigits(const std::string& text, size_t from, size_t to) {
  if (from >= to) return false;
  for (size_t i = from; i < to; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

}  // namespace

fs::path TemporaryBeside(const fs::path& path, uint32_t pid) {
  static std::mt19937_64 generator{std::random_device{}()};
  std::string name = ".";
  name += path.filename().string();
  name += kMark;
  name += std::to_string(pid);
  name += '-';
  name += std::to_string(generator() & 0xFFFFFF);
  return path.parent_path() / name;
}

uint32_t TemporaryOwner(const std::string& name) {
  // "." + at least one character of the target's name + ".tmp" + pid + "-" + number.
  if (name.size() < 2 || name[0] != '.') return 0;
  const size_t mark = name.rfind(kMark);
  if (mark == std::string::npos || mark < 2) return 0;
  const size_t pidFrom = mark + 4;
  const size_t dash = name.find('-', pidFrom);
  if (dash == std::string::npos || dash - pidFrom > 10 || !AllDigits(name, pidFrom, dash) ||
      name.size() - dash - 1 > 8 || !AllDigits(name, dash + 1, name.size()))
    return 0;
  const unsigned long long pid = std::stoull(name.substr(pidFrom, dash - pidFrom));
  return pid == 0 || pid > 0x7FFFFFFF ? 0 : static_cast<uint32_t>(pid);
}

size_t RemoveTemporariesOfEndedProcesses(const fs::path& dir,
                                         const std::function<bool(uint32_t)>& processRuns,
                                         const std::function<bool(const fs::path&)>& abandoned) {
  std::vector<fs::path> ended;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    const uint32_t pid = TemporaryOwner(it->path().filename().string());
    if (pid == 0) continue;
    std::error_code own;
    if (it->symlink_status(own).type() != fs::file_type::regular || own) continue;
    if (processRuns(pid) || !abandoned(it->path())) continue;
    ended.push_back(it->path());
  }
  size_t removed = 0;
  for (const fs::path& path : ended)
    if (RemoveFile(path).empty()) ++removed;
  return removed;
}

}  // namespace tavrino::os::detail
