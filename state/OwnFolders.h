// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The folders of the host's own state (the state folder and recovery/, backups/, runs/ in
// it), made private and trusted only while no other user can have put a file there, and
// kept to a number of files without ever losing the one just written.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>

#include "os/HostOs.h"

namespace tavrino::state {

// Makes dir inside root (and root when it is missing), every folder made private, then
// checks that both can be trusted (see os::CheckOwnFolder). root is checked before anything
// is made beneath it, so that nothing is made through a link.
os::Failure MakeOwnFolder(const std::filesystem::path& root, const std::filesystem::path& dir);

// The same check without making anything: empty when both can be trusted or when dir is not
// there at all (exists then false), else why not.
os::Failure CheckOwnFolders(const std::filesystem::path& root, const std::filesystem::path& dir,
                            bool& exists);

// Claims a new name in dir for a file written at once after: tries name(0), name(1), ...
// name(tries - 1) and creates the first that is free as an empty private file (exclusively,
// so that two processes at once never get the same name). path gets it.
os::Failure ClaimNewName(const std::filesystem::path& dir,
                         const std::function<std::string(int)>& name, int tries,
                         std::filesystem::path& path);

// Keeps the newest `keep` of the files of dir that `counts` picks by name: the rest are
// removed, the oldest first by the time each was last written (then by name), never
// justMade, whatever its time says (a clock set back makes a new file look old). Only
// regular files are looked at. Returns how many were removed.
size_t PruneOldest(const std::filesystem::path& dir, size_t keep,
                   const std::function<bool(const std::string&)>& counts,
                   const std::filesystem::path& justMade);

// Removes what writes that never finished left in dir, one of the host's own folders: the
// temporary files of processes that no longer run (see os::RemoveAbandonedTemporaries),
// and names claimed by ClaimNewName (empty files that `counts` picks) that were never
// filled. A run fills its name at once after claiming it, so a name still empty after
// kClaimAbandonedAfter is one whose run ended first; a younger one, or one whose time lies
// ahead (a clock set back), may be a run's in progress and stays. Returns how many went.
inline constexpr std::chrono::seconds kClaimAbandonedAfter{60};
size_t RemoveLeftovers(const std::filesystem::path& dir,
                       const std::function<bool(const std::string&)>& counts);

}  // namespace tavrino::state
