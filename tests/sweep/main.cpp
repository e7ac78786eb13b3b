// SPDX-License-Identifier: GPL-2.0-or-later
// crash-sweep: runs the sweep over the cases and prints what it tried and what failed,
// with the command that replays each failing point alone.
//
//   crash-sweep [--stride N] [--case NAME]... [--point KIND:N[:J]] [--jobs N]
//               [--panel-only | --host-only] [--no-stale] [--no-twice] [--failures FILE]
//               [--state-root DIR] [-v]
//   crash-sweep --steps [--case NAME]...    each case's steps: first exchange and count
//
// The state folders of the points go under DIR (default: a new folder in /dev/shm, else in
// the system's temporary folder), removed at the end unless -v.
// Exit status: 0 when every point held, 1 when one failed, 2 for bad use.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "firmware/Packer.h"
#include "support/TestUpdaterFolder.h"
#include "tests/sweep/Sweep.h"

namespace tavrino::sweep {
namespace {

namespace fs = std::filesystem;

struct Options {
  SweepOptions sweep;
  std::vector<std::string> cases;
  std::optional<std::pair<std::string, std::string>> point;
  unsigned jobs = 1;
  bool steps = false;
  std::string failures;
  fs::path stateRoot;
  std::string self;
};

const char kUsage[] =
    "usage: crash-sweep [--stride N] [--case NAME]... [--point KIND:N[:J]] [--jobs N]\n"
    "                   [--panel-only | --host-only] [--no-stale] [--no-twice]\n"
    "                   [--host-stride N]\n"
    "                   [--failures FILE] [--state-root DIR] [-v]\n"
    "       crash-sweep --steps [--case NAME]...\n"
    "KIND: cut, stop, cut2 (N:J), hostfail, hoststop\n";

bool Parse(int argc, char** argv, Options& o, std::string& error) {
  std::error_code e;
  // As the caller can type it from where it stands.
  const fs::path self = fs::weakly_canonical(fs::absolute(argv[0]), e);
  const fs::path relative = fs::relative(self, fs::current_path(e), e);
  o.self = relative.empty() || *relative.begin() == ".." ? self.string() : relative.string();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return "";
      }
      return argv[++i];
    };
    if (a == "--stride") {
      const std::string v = value();
      o.sweep.stride = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
      if (o.sweep.stride == 0) error = "--stride takes a number from 1";
    } else if (a == "--host-stride") {
      const std::string v = value();
      o.sweep.hostStride = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
      if (o.sweep.hostStride == 0) error = "--host-stride takes a number from 1";
    } else if (a == "--case") {
      o.cases.push_back(value());
      if (!FindCase(o.cases.back())) error = "no case " + o.cases.back();
    } else if (a == "--point") {
      const std::string v = value();
      const size_t colon = v.find(':');
      if (colon == std::string::npos) {
        error = "--point takes KIND:N";
      } else {
        o.point = std::make_pair(v.substr(0, colon), v.substr(colon + 1));
      }
    } else if (a == "--jobs") {
      o.jobs = static_cast<unsigned>(std::strtoul(value().c_str(), nullptr, 10));
      if (o.jobs == 0) error = "--jobs takes a number from 1";
    } else if (a == "--panel-only") {
      o.sweep.host = false;
    } else if (a == "--host-only") {
      o.sweep.panel = false;
    } else if (a == "--no-stale") {
      o.sweep.stale = false;
    } else if (a == "--steps") {
      o.steps = true;
    } else if (a == "--no-twice") {
      o.sweep.twice = false;
    } else if (a == "--failures") {
      o.failures = value();
    } else if (a == "--state-root") {
      o.stateRoot = value();
    } else if (a == "-v" || a == "--verbose") {
      o.sweep.verbose = true;
    } else {
      error = "unknown option " + a;
    }
    if (!error.empty()) return false;
  }
  if (o.point && o.cases.size() != 1) {
    error = "--point needs exactly one --case";
    return false;
  }
  if (o.cases.empty())
    for (const Case& c : Cases()) o.cases.push_back(c.name);
  return true;
}

// The reference of one case: its file, its panels and the uninterrupted runs.
bool MakeReference(const Case& c, const fs::path& root, const fs::path& updaters, Reference& ref,
                   std::string& error) {
  ref.c = &c;
  ref.updaters = updaters;
  ref.root = root / c.name;
  Fresh(ref.root);
  std::error_code e;
  Bytes packed;
  if (!PackFirmware({sim::SimulatedPanel::SyntheticProgram(c.fileVersion, 1)}, nullptr, packed,
                    error))
    return false;
  ref.file = (root / (c.name + ".17")).string();
  std::ofstream(ref.file, std::ios::binary)
      .write(reinterpret_cast<const char*>(packed.data()),
             static_cast<std::streamsize>(packed.size()));
  ref.before = Prepared(c);
  ref.otherBefore = Prepared(c, true);
  for (const bool other : {false, true}) {
    Bench bench(other ? ref.otherBefore : ref.before);
    Session session(bench, ref.file, ref.updaters);
    const fs::path home = ref.root / (other ? "twin-other" : "twin");
    const RunResult r = RunProgram(bench, session, home);
    fs::remove_all(home, e);
    if (r.outcome != Outcome::Updated) {
      error = c.name + ": the uninterrupted run " + Tail(r);
      return false;
    }
    (other ? ref.otherWant : ref.want) = bench.Contents();
    if (!other) ref.twin = r;
  }
  return true;
}

// --- Findings cross process boundaries as lines of tab-separated fields ---

std::string Clean(std::string s) {
  for (char& ch : s)
    if (ch == '\t' || ch == '\n') ch = ' ';
  return s;
}

struct Row {
  std::string caseName;
  uint32_t exchanges = 0;
  size_t fileOps = 0;
  std::vector<Finding> findings;
};

void WriteRow(std::ostream& out, const Row& row) {
  out << "case\t" << row.caseName << '\t' << row.exchanges << '\t' << row.fileOps << '\n';
  for (const Finding& f : row.findings)
    out << "finding\t" << Clean(f.kind) << '\t' << Clean(f.point) << '\t' << Clean(f.step) << '\t'
        << (f.note ? 1 : 0) << '\t' << Clean(f.what) << '\n';
}

std::vector<Row> ReadRows(std::istream& in) {
  std::vector<Row> rows;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string field;
    while (std::getline(ss, field, '\t')) fields.push_back(field);
    if (fields.size() == 4 && fields[0] == "case") {
      rows.push_back({fields[1],
                      static_cast<uint32_t>(std::stoul(fields[2])),
                      static_cast<size_t>(std::stoul(fields[3])),
                      {}});
    } else if (fields.size() >= 5 && fields[0] == "finding" && !rows.empty()) {
      rows.back().findings.push_back(
          {fields[1], fields[2], fields[3], fields.size() > 5 ? fields[5] : "", fields[4] == "1"});
    }
  }
  return rows;
}

Row SweepCase(const Case& c, const Options& o, const fs::path& updaters) {
  Row row;
  row.caseName = c.name;
  Reference ref;
  std::string error;
  if (!MakeReference(c, o.stateRoot, updaters, ref, error)) {
    row.findings.push_back({"setup", "-", "-", error, false});
    return row;
  }
  row.exchanges = static_cast<uint32_t>(ref.twin.labels.size());
  const bool panelPoint =
      o.point && (o.point->first == "cut" || o.point->first == "stop" || o.point->first == "cut2");
  const bool hostPoint = o.point && !panelPoint;
  if (o.sweep.panel && !hostPoint) SweepPanel(ref, o.sweep, o.point, row.findings);
  if (o.sweep.host && !panelPoint) SweepHost(ref, o.sweep, o.point, row.findings, row.fileOps);
  std::error_code e;
  if (!o.sweep.verbose) fs::remove_all(ref.root, e);
  fs::remove(ref.file, e);
  return row;
}

// Runs the cases in up to o.jobs child processes, each writing its rows to a file.
std::vector<Row> SweepAll(const Options& o, const fs::path& updaters) {
  std::vector<Row> rows;
  if (o.jobs <= 1 || o.cases.size() <= 1) {
    for (const std::string& name : o.cases) rows.push_back(SweepCase(*FindCase(name), o, updaters));
    return rows;
  }
  std::vector<std::pair<pid_t, fs::path>> children;
  for (unsigned w = 0; w < o.jobs && w < o.cases.size(); ++w) {
    const fs::path out = o.stateRoot / ("rows-" + std::to_string(w) + ".tsv");
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
      std::ofstream file(out);
      for (size_t i = w; i < o.cases.size(); i += o.jobs)
        WriteRow(file, SweepCase(*FindCase(o.cases[i]), o, updaters));
      file.close();
      std::_Exit(file ? 0 : 1);
    }
    children.push_back({child, out});
  }
  std::vector<Row> found;
  for (const auto& [child, out] : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    std::ifstream in(out);
    for (Row& r : ReadRows(in)) found.push_back(std::move(r));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      found.push_back({"worker", 0, 0, {{"setup", "-", "-", "a worker process failed", false}}});
  }
  // In the order asked for, whichever worker ran them; a failed worker's row last.
  std::vector<bool> taken(found.size(), false);
  for (const std::string& name : o.cases)
    for (size_t i = 0; i < found.size(); ++i)
      if (!taken[i] && found[i].caseName == name) {
        rows.push_back(found[i]);
        taken[i] = true;
      }
  for (size_t i = 0; i < found.size(); ++i)
    if (!taken[i]) rows.push_back(found[i]);
  return rows;
}

// --- The table ---

struct Column {
  const char* kind;
  const char* title;
};
const Column kPanelColumns[] = {{"cut", "line cut"},
                                {"stop", "Stop"},
                                {"cut2", "cut twice"},
                                {"cut/other", "other panel"},
                                {"cut/elsewhere", "updated elsewhere"}};
const Column kHostColumns[] = {{"hostfail", "refused"},
                               {"hoststop", "process stopped"},
                               {"hoststop/other", "other panel"},
                               {"hoststop/elsewhere", "updated elsewhere"}};

struct Count {
  size_t tried = 0, failed = 0, notes = 0;
};

std::map<std::string, Count> Counts(const Row& row) {
  std::map<std::string, Count> counts;
  for (const Finding& f : row.findings) {
    Count& c = counts[f.kind];
    ++c.tried;
    if (f.note)
      ++c.notes;
    else if (!f.what.empty())
      ++c.failed;
  }
  return counts;
}

std::string Cell(const Count& c) {
  return c.tried == 0 ? "-" : std::to_string(c.tried) + " / " + std::to_string(c.failed);
}

template <size_t N>
void PrintTable(const std::vector<Row>& rows, const char* side, const char* unit,
                const Column (&columns)[N], bool host) {
  std::printf("\n%s (points tried / failed):\n\n| case | %s |", side, unit);
  for (const Column& c : columns) std::printf(" %s |", c.title);
  if (host) std::printf(" temporaries left after the rerun |");
  std::printf("\n|---|---:|");
  for (size_t i = 0; i < N + (host ? 1 : 0); ++i) std::printf("---:|");
  std::printf("\n");
  std::map<std::string, Count> total;
  size_t units = 0;
  for (const Row& row : rows) {
    const auto counts = Counts(row);
    const size_t n = host ? row.fileOps : row.exchanges;
    units += n;
    std::printf("| %s | %zu |", row.caseName.c_str(), n);
    for (const Column& c : columns) {
      const auto it = counts.find(c.kind);
      const Count count = it == counts.end() ? Count{} : it->second;
      std::printf(" %s |", Cell(count).c_str());
      total[c.kind].tried += count.tried;
      total[c.kind].failed += count.failed;
    }
    if (host) {
      // A stop leaves the temporary of a write that never finished; the rerun removes it.
      const auto it = counts.find("hoststop/litter");
      const size_t left = it == counts.end() ? 0 : it->second.failed;
      total["litter"].failed += left;
      std::printf(" %zu |", left);
    }
    std::printf("\n");
  }
  std::printf("| all | %zu |", units);
  for (const Column& c : columns) std::printf(" %s |", Cell(total[c.kind]).c_str());
  if (host) std::printf(" %zu |", total["litter"].failed);
  std::printf("\n");
}

std::string Command(const Options& o, const std::string& caseName, const Finding& f) {
  const std::string kind = f.kind.substr(0, f.kind.find('/'));
  return o.self + " --case " + caseName + " --point " + kind + ":" + f.point + " -v";
}

// Where each step of the uninterrupted run begins: to read a failing point's number.
int PrintSteps(const Options& o, const fs::path& updaters) {
  for (const std::string& name : o.cases) {
    Reference ref;
    std::string error;
    if (!MakeReference(*FindCase(name), o.stateRoot, updaters, ref, error)) {
      std::fprintf(stderr, "crash-sweep: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s:\n", name.c_str());
    auto starts = Boundaries(ref.twin.labels);
    starts.push_back(static_cast<uint32_t>(ref.twin.labels.size()) + 1);
    for (size_t i = 0; i + 1 < starts.size(); ++i)
      std::printf("  %5u-%-5u %s\n", starts[i], starts[i + 1] - 1,
                  ref.twin.labels[starts[i] - 1].c_str());
    std::error_code e;
    fs::remove_all(ref.root, e);
    fs::remove(ref.file, e);
  }
  return 0;
}

// Each point writes and flushes up to a dozen files: a folder in memory keeps the disk's
// flush time out of the sweep where there is one (the operations are the same).
fs::path StateRoot() {
  std::error_code e;
  if (fs::is_directory("/dev/shm", e) && ::access("/dev/shm", W_OK) == 0) {
    for (int tries = 0; tries < 100; ++tries) {
      const fs::path dir = "/dev/shm/tavrino-crash-sweep-" + std::to_string(::getpid()) + "-" +
                           std::to_string(tries);
      if (fs::create_directory(dir, e)) return dir;
    }
  }
  return test::MakeTempFolder("tavrino-crash-sweep");
}

int Main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!Parse(argc, argv, o, error)) {
    std::fprintf(stderr, "crash-sweep: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  const bool ownRoot = o.stateRoot.empty();
  if (ownRoot) o.stateRoot = StateRoot();
  const test::TestUpdaterFolder updaters;
  if (o.steps) {
    const int status = PrintSteps(o, updaters.Path());
    std::error_code e;
    if (ownRoot) fs::remove_all(o.stateRoot, e);
    return status;
  }
  const auto start = std::chrono::steady_clock::now();
  const std::vector<Row> rows = SweepAll(o, updaters.Path());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  size_t failures = 0;
  std::ofstream list;
  if (!o.failures.empty()) list.open(o.failures);
  // Failures alike (same case, check, step and first words) are shown three at a time.
  std::map<std::string, size_t> alike;
  for (const Row& row : rows) {
    for (const Finding& f : row.findings) {
      if (f.what.empty() || f.note) continue;
      ++failures;
      const std::string line = "FAIL " + row.caseName + " " + f.kind + " at " + f.point + " [" +
                               f.step + "]: " + f.what +
                               "\n  reproduce: " + Command(o, row.caseName, f) + "\n";
      if (list) list << line;
      const std::string key = row.caseName + f.kind + f.step + f.what.substr(0, 30);
      const size_t seen = ++alike[key];
      if (seen <= 3 || o.point) std::fputs(line.c_str(), stdout);
    }
  }
  for (const auto& [key, n] : alike)
    if (n > 3 && !o.point)
      std::printf("  (%zu more failures alike not shown%s)\n", n - 3,
                  o.failures.empty() ? "; --failures FILE lists them all" : "");
  const bool hostPoint = o.point && o.point->first.rfind("host", 0) == 0;
  if (o.sweep.panel && !hostPoint)
    PrintTable(rows, "Panel side: the line cut at an exchange, or Stop there", "exchanges",
               kPanelColumns, false);
  if (o.sweep.host && (!o.point || hostPoint))
    PrintTable(rows, "Host side: a file operation refused, or the process stopped there",
               "file ops", kHostColumns, true);
  std::printf("\nstride %u, host stride %u, %zu failure(s), %.1f s\n", o.sweep.stride,
              o.sweep.hostStride, failures, seconds);
  std::error_code e;
  if (ownRoot && !o.sweep.verbose) fs::remove_all(o.stateRoot, e);
  if (o.sweep.verbose && ownRoot) std::printf("state folders kept in %s\n", o.stateRoot.c_str());
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tavrino::sweep

int main(int argc, char** argv) {
  return tavrino::sweep::Main(argc, argv);
}
