// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Groups for tests of who may write to the host's state: a folder writable by a group the
// user shares with others must be refused, one writable by the user's private group not.
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

namespace tavrino::test {

// The user's private group: named after the user, no other members listed.
inline bool IsUsersPrivateGroup(gid_t gid) {
  const struct group* group = ::getgrgid(gid);
  const struct passwd* user = ::getpwuid(::geteuid());
  return group != nullptr && user != nullptr && std::strcmp(group->gr_name, user->pw_name) == 0 &&
         (group->gr_mem == nullptr || group->gr_mem[0] == nullptr);
}

// Gives path to a group other than the user's private one (root may give it to any group,
// a user only to one of theirs); false when the user has no such group.
inline bool GiveToASharedGroup(const std::filesystem::path& path) {
  std::vector<gid_t> groups(static_cast<size_t>(::getgroups(0, nullptr)) + 1);
  groups.resize(static_cast<size_t>(::getgroups(static_cast<int>(groups.size()), groups.data())));
  if (::geteuid() == 0) groups.push_back(65534);
  for (const gid_t gid : groups)
    if (!IsUsersPrivateGroup(gid) && ::chown(path.c_str(), static_cast<uid_t>(-1), gid) == 0)
      return true;
  return false;
}

// Whether GiveToASharedGroup can work here, without trying it on a file.
inline bool CanGiveToASharedGroup() {
  if (::geteuid() == 0) return true;
  std::vector<gid_t> groups(static_cast<size_t>(::getgroups(0, nullptr)) + 1);
  groups.resize(static_cast<size_t>(::getgroups(static_cast<int>(groups.size()), groups.data())));
  for (const gid_t gid : groups)
    if (!IsUsersPrivateGroup(gid)) return true;
  return false;
}

}  // namespace tavrino::test
