// SPDX-License-Identifier: GPL-2.0-or-later
// The host side of the sweep: each file operation of a Program run refused in turn, and
// the process stopped at each in turn. A stop is a real end of the process: the run goes
// on in a child process that ends inside the os layer before the operation (std::_Exit, so
// no destructor, handler or buffer of the tool runs after it); only the simulated panel,
// which is another machine, is saved on the way out, for the parent to go on with.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "os/FileFaults.h"
#include "tests/sweep/Sweep.h"

namespace tavrino::sweep {

namespace fs = std::filesystem;

namespace {

constexpr int kStopStatus = 86;

std::string N(size_t k) {
  return std::to_string(k);
}

bool OnAFolder(const os::FileOpSeen& op) {
  return op.op == os::FileOp::MakeFolder || op.op == os::FileOp::FlushFolder ||
         op.op == os::FileOp::CheckFolder;
}

// "rename recovery/record", "create backups/temporary", "folder check tavrino".
std::string Describe(const os::FileOpSeen& op) {
  const bool folder = OnAFolder(op);
  const std::string where =
      folder ? op.path.filename().string()
             : op.path.parent_path().filename().string() + "/" +
                   (op.path.filename().string().find(".tmp") != std::string::npos ? "temporary"
                                                                                  : "record");
  return std::string(os::FileOpName(op.op)) + " " + where;
}

// Does the operation belong to keeping a recovery record, which a change waits for?
bool GuardsAChange(const os::FileOpSeen& op) {
  if (op.op == os::FileOp::Remove || op.op == os::FileOp::Read || op.op == os::FileOp::CheckFolder)
    return false;
  return (OnAFolder(op) ? op.path : op.path.parent_path()).filename() == "recovery";
}

// An operation that may or may not guard a change: a read (of a record, of a file the run
// needs), a folder checked (to list the records, or to write one), or the state folder
// made, for a record as for a backup. Refused, it may end the run, but nothing may change
// after it; where it guarded a record, the record's write fails and ends the run.
bool MayEndTheRun(const os::FileOpSeen& op) {
  return op.op == os::FileOp::Read || op.op == os::FileOp::CheckFolder ||
         (OnAFolder(op) && op.path.filename() == "tavrino");
}

struct OpInfo {
  os::FileOpSeen op;
  std::string step;  // the label of the status line open at the operation
};

std::string StepOf(const Session& session) {
  const auto& history = session.log.History();
  if (history.empty()) return "-";
  const std::string line = StatusLog::Trimmed(history.back());
  const size_t colon = line.find(':');
  return colon == std::string::npos ? line : line.substr(0, colon + 1);
}

// The operation and the step it came in, to tell whether a run's n-th operation is the one
// the uninterrupted run had there. Two records claimed in the same second take one create
// more than two in different seconds, so the count may shift with the clock.
std::string Signature(const os::FileOpSeen& op, const std::string& step) {
  return Describe(op) + " (" + step + ")";
}

// Tries a point a few times until its n-th operation is the uninterrupted run's.
constexpr int kTries = 5;

// True when the point was tried on the operation it names.
bool TryRefused(const Reference& ref, const SweepOptions& options, size_t n, const OpInfo& info,
                std::vector<Finding>& findings) {
  const fs::path home = ref.root / ("hostfail-" + N(n));
  Fresh(home);
  Bench bench(ref.before);
  Session session(bench, ref.file, ref.updaters);
  uint32_t changesAtFailure = 0;
  bool failed = false;
  std::string hitSignature;
  os::FileFaultPlan plan;
  plan.action = os::FileFaultPlan::Action::Fail;
  plan.at = static_cast<uint32_t>(n);
  plan.watch = [&](const os::FileOpSeen& op, bool hit) {
    if (!hit) return;
    failed = true;
    changesAtFailure = bench.Changes();
    hitSignature = Signature(op, StepOf(session));
  };
  os::ArmFileFaults(std::move(plan));
  const RunResult r = RunProgram(bench, session, home);
  os::DisarmFileFaults();
  const std::string step = Signature(info.op, info.step);
  if (failed && hitSignature != step) return false;
  std::string what;
  if (!failed) {
    what = "the run made fewer file operations than the uninterrupted one";
  } else if (GuardsAChange(info.op)) {
    if (r.outcome != Outcome::RecordNotWritten)
      what = "a refused " + Describe(info.op) + " did not end the run with exit 9 (exit " +
             N(static_cast<size_t>(ExitCode(r.outcome))) + "): " + Tail(r);
    else if (bench.Changes() != changesAtFailure)
      what = "the panel was changed " + N(bench.Changes() - changesAtFailure) +
             " times after its record could not be written";
  } else if (MayEndTheRun(info.op)) {
    if (!Completed(r.outcome) && bench.Changes() != changesAtFailure)
      what = "the panel was changed " + N(bench.Changes() - changesAtFailure) +
             " times after a refused " + Describe(info.op) + ": " + Tail(r);
  } else if (!Completed(r.outcome)) {
    what =
        "a refused " + Describe(info.op) + ", which guards no change, failed the run: " + Tail(r);
  }
  Show(options, "operation " + N(n) + " refused", r);
  if (what.empty()) {
    // The same command again, from a new start: it finishes, and leaves no record.
    Session again(bench, ref.file, ref.updaters);
    const RunResult rerun = RunProgram(bench, again, home);
    Show(options, "the same command again", rerun);
    if (!Completed(rerun.outcome))
      what = "the rerun " + Tail(rerun);
    else if (const std::string d = Difference(bench.Contents(), ref.want); !d.empty())
      what = "after the rerun the panel's " + d;
    else if (const StateFiles f = CountStateFiles(home); f.records > 0)
      what = "the rerun left " + N(f.records) + " record(s) in recovery/";
  }
  findings.push_back({"hostfail", N(n), step, what, false});
  std::error_code e;
  if (!options.verbose) fs::remove_all(home, e);
  return true;
}

void Refused(const Reference& ref, const SweepOptions& options, size_t n, const OpInfo& info,
             std::vector<Finding>& findings) {
  for (int i = 0; i < kTries; ++i)
    if (TryRefused(ref, options, n, info, findings)) return;
  findings.push_back({"hostfail", N(n), Signature(info.op, info.step),
                      "the run's operation " + N(n) + " was another each time", false});
}

bool TryStopped(const Reference& ref, const SweepOptions& options, size_t n, const OpInfo& info,
                std::vector<Finding>& findings) {
  const fs::path home = ref.root / ("hoststop-" + N(n));
  Fresh(home);
  const fs::path panelFile = ref.root / ("hoststop-" + N(n) + ".panel");
  const fs::path opFile = ref.root / ("hoststop-" + N(n) + ".op");
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child < 0) {
    findings.push_back({"hoststop", N(n), Describe(info.op), "fork failed", false});
    return true;
  }
  if (child == 0) {
    Bench bench(ref.before);
    Session session(bench, ref.file, ref.updaters);
    os::FileFaultPlan plan;
    plan.action = os::FileFaultPlan::Action::Stop;
    plan.at = static_cast<uint32_t>(n);
    plan.stopStatus = kStopStatus;
    plan.beforeStop = [&] { bench.Panel().SaveState(panelFile.string()); };
    plan.watch = [&](const os::FileOpSeen& op, bool hit) {
      if (hit) std::ofstream(opFile) << Signature(op, StepOf(session));
    };
    os::ArmFileFaults(std::move(plan));
    RunProgram(bench, session, home);
    bench.Panel().SaveState(panelFile.string());
    std::_Exit(0);  // the run ended before the operation: the parent says so
  }
  int status = 0;
  const std::string step = Signature(info.op, info.step);
  const bool waited = ::waitpid(child, &status, 0) == child;
  std::string hitSignature;
  std::getline(std::ifstream(opFile), hitSignature);
  std::error_code e;
  fs::remove(opFile, e);
  if (!hitSignature.empty() && hitSignature != step) {
    fs::remove(panelFile, e);
    return false;
  }
  if (!waited || !WIFEXITED(status) || WEXITSTATUS(status) != kStopStatus) {
    findings.push_back(
        {"hoststop", N(n), step, "the process did not stop at the operation", false});
    return true;
  }
  sim::SimulatedPanel panel;
  if (!panel.LoadState(panelFile.string())) {
    findings.push_back(
        {"hoststop", N(n), step, "the panel was not kept: " + panel.StateError(), false});
    return true;
  }
  fs::remove(panelFile, e);
  const PanelImage cut{panel.Config(), panel.Flash(), panel.Memory1(), panel.Memory2()};
  if (options.verbose)
    std::printf("  the process stopped before operation %zu: %s\n", n, step.c_str());
  CheckAfterCut(ref, options, "hoststop", N(n), step, cut, home, findings);
  return true;
}

void Stopped(const Reference& ref, const SweepOptions& options, size_t n, const OpInfo& info,
             std::vector<Finding>& findings) {
  for (int i = 0; i < kTries; ++i)
    if (TryStopped(ref, options, n, info, findings)) return;
  findings.push_back({"hoststop", N(n), Signature(info.op, info.step),
                      "the run's operation " + N(n) + " was another each time", false});
}

}  // namespace

void SweepHost(const Reference& ref, const SweepOptions& options,
               const std::optional<std::pair<std::string, std::string>>& only,
               std::vector<Finding>& findings, size_t& fileOps) {
  // The uninterrupted run's operations, and the step of the status line open at each.
  std::vector<OpInfo> ops;
  {
    const fs::path home = ref.root / "host-count";
    Fresh(home);
    Bench bench(ref.before);
    Session session(bench, ref.file, ref.updaters);
    os::FileFaultPlan plan;
    plan.watch = [&](const os::FileOpSeen& op, bool) { ops.push_back({op, StepOf(session)}); };
    os::ArmFileFaults(std::move(plan));
    RunProgram(bench, session, home);
    os::DisarmFileFaults();
    std::error_code e;
    fs::remove_all(home, e);
  }
  fileOps = ops.size();
  for (size_t n = 1; n <= ops.size(); ++n) {
    const size_t caseIndex = static_cast<size_t>(ref.c - Cases().data());
    const bool chosen = only ? only->second == N(n) : (n + caseIndex) % options.hostStride == 0;
    if (!chosen) continue;
    if (!only || only->first == "hostfail") Refused(ref, options, n, ops[n - 1], findings);
    if (!only || only->first == "hoststop") Stopped(ref, options, n, ops[n - 1], findings);
  }
}

}  // namespace tavrino::sweep
