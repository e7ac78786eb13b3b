// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// For tests only: the host's file operations can be counted, and the n-th one made to fail
// or to stop the whole process before it happens, so that a test can prove that no crash
// and no refused write between two file operations loses what the user needs. Off unless
// a test arms it; then every call below costs one load of a flag.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavrino::os {

// What the os layer does to a file or folder that changes what the host keeps, the check
// that a state folder may be trusted before anything is kept in it, and the read of a file
// (a record read back, a firmware file opened).
enum class FileOp : uint8_t {
  MakeFolder,
  Create,
  Write,
  Flush,
  Rename,
  FlushFolder,
  Remove,
  CheckFolder,
  Read
};
const char* FileOpName(FileOp op);  // "create", "write", "fsync", ...

struct FileOpSeen {
  FileOp op;
  std::filesystem::path path;
};

struct FileFaultPlan {
  enum class Action : uint8_t { None, Fail, Stop };
  Action action = Action::None;  // None: only count and keep the list
  uint32_t at = 0;               // the operation it hits, 1 = the first after arming
  // Stop: called just before the process ends, so that a test can keep what outlives the
  // process (a simulated panel's contents). It must touch nothing of the tool's.
  std::function<void()> beforeStop;
  int stopStatus = 86;  // the process's exit status at the stop
  // Called at every operation before the plan acts; hit: the plan acts on this one.
  std::function<void(const FileOpSeen&, bool hit)> watch;
  // Set: `at` counts only the operations of this kind (the first removal, say).
  std::optional<FileOp> only;
};

// Arms the plan and starts counting from 0 with an empty list.
void ArmFileFaults(FileFaultPlan plan);
void DisarmFileFaults();
// Every operation from arming to disarming, in order.
const std::vector<FileOpSeen>& FileOpsSeen();

namespace detail {
extern std::atomic<bool> fileFaultsArmed;
bool FileOpRefused(FileOp op, const std::filesystem::path& path);
}  // namespace detail

// Called by the platform sources just before each operation. True: the operation must
// fail as if the system had refused it (errno is set to EIO). With a Stop plan the process
// ends inside this call and the operation never happens.
inline bool InjectedFileFault(FileOp op, const std::filesystem::path& path) {
  return detail::fileFaultsArmed.load(std::memory_order_relaxed) && detail::FileOpRefused(op, path);
}

}  // namespace tavrino::os
