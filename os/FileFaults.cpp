// SPDX-License-Identifier: GPL-2.0-or-later
#include "os/FileFaults.h"

#include <cerrno>
#include <cstdlib>

namespace tavrino::os {

namespace detail {
std::atomic<bool> fileFaultsArmed{false};
}  // namespace detail

namespace {

struct Armed {
  FileFaultPlan plan;
  std::vector<FileOpSeen> seen;
  uint32_t counted = 0;  // the operations `at` counts
};

Armed& State() {
  static Armed armed;
  return armed;
}

}  // namespace

const char* FileOpName(FileOp op) {
  switch (op) {
    case FileOp::MakeFolder:
      return "make folder";
    case FileOp::Create:
      return "create";
    case FileOp::Write:
      return "write";
    case FileOp::Flush:
      return "fsync";
    case FileOp::Rename:
      return "rename";
    case FileOp::FlushFolder:
      return "folder fsync";
    case FileOp::Remove:
      return "remove";
    case FileOp::CheckFolder:
      return "folder check";
    case FileOp::Read:
      return "read";
  }
  return "?";
}

void ArmFileFaults(FileFaultPlan plan) {
  State().plan = std::move(plan);
  State().seen.clear();
  State().counted = 0;
  detail::fileFaultsArmed.store(true, std::memory_order_relaxed);
}

void DisarmFileFaults() {
  detail::fileFaultsArmed.store(false, std::memory_order_relaxed);
  State().plan = {};
}

const std::vector<FileOpSeen>& FileOpsSeen() {
  return State().seen;
}

bool detail::FileOpRefused(FileOp op, const std::filesystem::path& path) {
  Armed& armed = State();
  armed.seen.push_back({op, path});
  const FileFaultPlan& plan = armed.plan;
  if (!plan.only || *plan.only == op) ++armed.counted;
  const bool hit = plan.action != FileFaultPlan::Action::None && (!plan.only || *plan.only == op) &&
                   armed.counted == plan.at;
  if (plan.watch) plan.watch(armed.seen.back(), hit);
  if (!hit) return false;
  if (plan.action == FileFaultPlan::Action::Stop) {
    if (plan.beforeStop) plan.beforeStop();
    // As a crash: no destructor, no handler at exit, no buffer flushed; what the process
    // had written before this operation stays as the system holds it.
    std::_Exit(plan.stopStatus);
  }
  errno = EIO;
  return true;
}

}  // namespace tavrino::os
