// SPDX-License-Identifier: GPL-2.0-or-later
// The panel side of the sweep: the line cut at an exchange (the request carried out, its
// answer lost, the panel switched off and on), or Stop pressed there, then the same
// command again; and the records a cut leaves, shown to panels they were not made for.
#include <set>
#include <system_error>

#include "tests/sweep/Sweep.h"

namespace tavrino::sweep {

namespace fs = std::filesystem;

namespace {

void Drop(const fs::path& dir, const SweepOptions& options) {
  std::error_code e;
  if (!options.verbose) fs::remove_all(dir, e);
}

fs::path Beside(const fs::path& home, const std::string& suffix) {
  return home.string() + suffix;
}

// The same command run on the bench's panel must end as want, and retire every record.
std::string Finishes(Bench& bench, Session& session, const fs::path& home, const PanelImage& want,
                     const SweepOptions& options, const std::string& title) {
  const RunResult r = RunProgram(bench, session, home);
  Show(options, title, r);
  if (!Completed(r.outcome)) return "the rerun " + Tail(r);
  if (const std::string d = Difference(bench.Contents(), want); !d.empty())
    return "after the rerun the panel's " + d + "; " + Tail(r);
  if (const StateFiles f = CountStateFiles(home); f.records > 0)
    return "the rerun left " + std::to_string(f.records) + " record(s) in recovery/";
  return "";
}

Finding Found(const std::string& kind, const std::string& point, const std::string& step,
              std::string what) {
  return {kind, point, step, std::move(what), false};
}

}  // namespace

void CheckAfterCut(const Reference& ref, const SweepOptions& options, const std::string& kind,
                   const std::string& point, const std::string& step, const PanelImage& cut,
                   const fs::path& home, std::vector<Finding>& findings) {
  const fs::path asCut = Beside(home, "-as-cut");
  if (options.stale) CopyState(home, asCut);
  {
    // The same panel and the same command, from a new start of the tool.
    Bench bench(cut);
    Session session(bench, ref.file, ref.updaters);
    findings.push_back(
        Found(kind, point, step,
              Finishes(bench, session, home, ref.want, options, "the same command again")));
    if (const StateFiles f = CountStateFiles(home); f.temporaries > 0)
      findings.push_back({kind + "/litter", point, step,
                          std::to_string(f.temporaries) +
                              " temporary file(s) stay in the state folder after the rerun",
                          false});
  }
  Drop(home, options);
  if (!options.stale) return;
  {
    // Another panel of the same kind meets the cut panel's records: it is updated as if
    // there were none, and the records still finish their own panel afterwards.
    const fs::path home2 = Beside(home, "-other");
    CopyState(asCut, home2);
    Bench bench(ref.otherBefore);
    Session session(bench, ref.file, ref.updaters);
    const RunResult r = RunProgram(bench, session, home2);
    Show(options, "another panel with these records", r);
    std::string what;
    if (const std::string d = Difference(bench.Contents(), ref.otherWant); !d.empty()) {
      what = "another panel's " + d + "; " + Tail(r);
    } else {
      Bench own(cut);
      Session again(own, ref.file, ref.updaters);
      what = Finishes(own, again, home2, ref.want, options, "then the cut panel again");
      if (!what.empty()) what = "once another panel was updated, the cut panel: " + what;
    }
    findings.push_back(Found(kind + "/other", point, step, what));
    Drop(home2, options);
  }
  {
    // The same panel, updated to the end from another computer: nothing of it changes.
    const fs::path home3 = Beside(home, "-elsewhere");
    CopyState(asCut, home3);
    Bench bench(ref.want);
    Session session(bench, ref.file, ref.updaters);
    const RunResult r = RunProgram(bench, session, home3);
    Show(options, "the panel updated elsewhere, with these records", r);
    const std::string d = Difference(bench.Contents(), ref.want);
    findings.push_back(
        Found(kind + "/elsewhere", point, step,
              d.empty() ? "" : "the panel updated elsewhere: " + d + "; " + Tail(r)));
    Drop(home3, options);
  }
  Drop(asCut, options);
}

namespace {

std::string N(uint32_t k) {
  return std::to_string(k);
}

// One run from a new start of the tool, cut after its own request at (counted from the
// run's first), then the panel switched off and on.
void CutRun(const Reference& ref, const SweepOptions& options, Bench& bench, const fs::path& home,
            uint32_t at, const std::string& title) {
  bench.Panel().FaultSettings().cutAfterFrame = bench.Panel().RequestCount() + at;
  {
    Session session(bench, ref.file, ref.updaters);
    Show(options, title + N(at), RunProgram(bench, session, home));
  }
  bench.PowerCycle();
}

void CutAt(const Reference& ref, const SweepOptions& options, uint32_t k,
           std::vector<Finding>& findings) {
  const fs::path home = ref.root / ("cut-" + N(k));
  Fresh(home);
  Bench bench(ref.before);
  CutRun(ref, options, bench, home, k, "cut after request ");
  CheckAfterCut(ref, options, "cut", N(k), StepAt(ref.twin, k), bench.Contents(), home, findings);
}

void StopAt(const Reference& ref, const SweepOptions& options, uint32_t k,
            std::vector<Finding>& findings) {
  const fs::path home = ref.root / ("stop-" + N(k));
  Fresh(home);
  Bench bench(ref.before);
  Session session(bench, ref.file, ref.updaters);
  Show(options, "Stop at request " + N(k), RunProgram(bench, session, home, k));
  // The technician presses Program again in the same window; the panel stayed on.
  findings.push_back(
      Found("stop", N(k), StepAt(ref.twin, k),
            Finishes(bench, session, home, ref.want, options, "Program again, same window")));
  Drop(home, options);
}

// Cut at k, the rerun cut at its own request j, then the third run must finish.
void CutTwice(const Reference& ref, const SweepOptions& options, uint32_t k, uint32_t j,
              const std::string& step, std::vector<Finding>& findings) {
  const fs::path home = ref.root / ("cut2-" + N(k) + "-" + N(j));
  Fresh(home);
  Bench bench(ref.before);
  CutRun(ref, options, bench, home, k, "cut after request ");
  CutRun(ref, options, bench, home, j, "again, cut after its request ");
  Session session(bench, ref.file, ref.updaters);
  findings.push_back(Found("cut2", N(k) + ":" + N(j), step,
                           Finishes(bench, session, home, ref.want, options, "a third time")));
  Drop(home, options);
}

// The middle of each step that has a few exchanges: where a second cut lands.
std::vector<uint32_t> Middles(const std::vector<std::string>& labels) {
  std::vector<uint32_t> middles;
  auto starts = Boundaries(labels);
  starts.push_back(static_cast<uint32_t>(labels.size()) + 1);
  for (size_t i = 0; i + 1 < starts.size(); ++i)
    if (starts[i + 1] - starts[i] >= 3) middles.push_back((starts[i] + starts[i + 1]) / 2);
  return middles;
}

}  // namespace

void SweepPanel(const Reference& ref, const SweepOptions& options,
                const std::optional<std::pair<std::string, std::string>>& only,
                std::vector<Finding>& findings) {
  if (only) {
    const auto& [kind, point] = *only;
    const uint32_t k = static_cast<uint32_t>(std::stoul(point));
    if (kind == "cut") CutAt(ref, options, k, findings);
    if (kind == "stop") StopAt(ref, options, k, findings);
    if (kind == "cut2") {
      const uint32_t j = static_cast<uint32_t>(std::stoul(point.substr(point.find(':') + 1)));
      CutTwice(ref, options, k, j, StepAt(ref.twin, k), findings);
    }
    return;
  }
  const auto n = static_cast<uint32_t>(ref.twin.labels.size());
  std::set<uint32_t> points = {1, n};
  for (uint32_t k = options.stride; k <= n; k += options.stride) points.insert(k);
  for (uint32_t b : Boundaries(ref.twin.labels))
    for (uint32_t k = b > 2 ? b - 2 : 1; k <= b + 2 && k <= n; ++k) points.insert(k);
  for (uint32_t k : points) {
    CutAt(ref, options, k, findings);
    StopAt(ref, options, k, findings);
  }
  if (!options.twice) return;
  for (uint32_t k : Middles(ref.twin.labels)) {
    // Where the rerun of this cut has its steps.
    const fs::path home = ref.root / ("rerun-" + N(k));
    Fresh(home);
    Bench bench(ref.before);
    CutRun(ref, options, bench, home, k, "cut after request ");
    Session session(bench, ref.file, ref.updaters);
    const RunResult rerun = RunProgram(bench, session, home);
    Drop(home, options);
    for (uint32_t j : Middles(rerun.labels))
      CutTwice(ref, options, k, j, StepAt(ref.twin, k) + " then " + StepAt(rerun, j), findings);
  }
}

}  // namespace tavrino::sweep
