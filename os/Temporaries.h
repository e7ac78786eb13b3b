// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The names of the temporary files an atomic write makes beside its target, on every
// platform: ".<target>.tmp<process id>-<n>". The process id in the name is what lets a later
// run tell the temporary of a write still in progress from one that a crash left behind.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace tavrino::os::detail {

// A new temporary name beside path for the process pid.
std::filesystem::path TemporaryBeside(const std::filesystem::path& path, uint32_t pid);

// The id of the process that made the temporary file of that name; 0 when the name is not
// one of those TemporaryBeside makes.
uint32_t TemporaryOwner(const std::string& name);

// Removes from dir the temporary files whose process no longer runs (processRuns says), and
// nothing else: only regular files, never followed through a link; abandoned has the last
// word on each (the platform's own signs: another user's file, a writer's lock). Returns
// how many went.
size_t RemoveTemporariesOfEndedProcesses(
    const std::filesystem::path& dir, const std::function<bool(uint32_t pid)>& processRuns,
    const std::function<bool(const std::filesystem::path&)>& abandoned);

}  // namespace tavrino::os::detail
