// SPDX-License-Identifier: GPL-2.0-or-later
// The cases, the panel on its line, one start of the tool, and one Program run.
#include <algorithm>
#include <cstdio>
#include <system_error>

#include "sim/PanelImages.h"
#include "support/Env.h"
#include "support/ForwardingBackend.h"
#include "tests/sweep/Sweep.h"

namespace tavrino::sweep {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kSettingsCopiesFrom = 0x64000;
constexpr uint32_t kSettingsCopiesTo = 0x70000;
constexpr uint8_t kEraseCommand = 0x66;
constexpr uint8_t kWritePageCommand = 0x65;
constexpr uint8_t kWriteMemory1Command = 0x81;
constexpr uint8_t kWriteMemory2Command = 0x82;

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string FirstDifference(const char* what, const Bytes& got, const Bytes& want) {
  if (got.size() != want.size()) return std::string(what) + " has another size";
  size_t first = got.size(), count = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] == want[i]) continue;
    if (count++ == 0) first = i;
  }
  if (count == 0) return "";
  return std::string(what) + " 0x" + Hex(static_cast<uint32_t>(first), 5) + ": " +
         Hex(got[first], 2) + " instead of " + Hex(want[first], 2) + " (" + std::to_string(count) +
         " bytes differ)";
}

// The label of a status line: up to its colon, or the text before its status.
std::string LabelOf(const std::string& line) {
  const size_t colon = line.find(':');
  if (colon != std::string::npos) return line.substr(0, colon + 1);
  const size_t gap = line.find("  ");
  return StatusLog::Trimmed(gap == std::string::npos ? line : line.substr(0, gap));
}

}  // namespace

std::string Difference(const PanelImage& got, const PanelImage& want) {
  for (const auto& d : {FirstDifference("flash", got.flash, want.flash),
                        FirstDifference("memory 1", got.memory1, want.memory1),
                        FirstDifference("memory 2", got.memory2, want.memory2)})
    if (!d.empty()) return d;
  return "";
}

// Conversions both ways on a chip that erases sector 6 and on one that rewrites its pages
// without an erase (types 1 and 4), an update that keeps the format, and a Starter update
// followed by programming.
const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"103to104-amd", 2, 0x31, "1.03.05", "1.04.02", 103},
      {"103to104-winbond", 4, 0x31, "1.03.05", "1.04.02", 103},
      {"104to103-amic", 6, 0x31, "1.04.02", "1.03.05", 104},
      {"104to103-atmel", 1, 0x31, "1.04.02", "1.03.05", 104},
      {"104to104-st", 5, 0x31, "1.04.01", "1.04.02", 104},
      {"starter-103to104-amd", 2, 0x30, "1.03.05", "1.04.02", 103},
  };
  return cases;
}

const Case* FindCase(const std::string& name) {
  for (const Case& c : Cases())
    if (c.name == name) return &c;
  return nullptr;
}

PanelImage Prepared(const Case& c, bool another) {
  sim::PanelConfig config;
  config.flashType = c.flashType;
  config.starterVersion = c.starterVersion;
  sim::SimulatedPanel panel(config);
  panel.SynthesizeProgram(c.panelVersion, 0);
  panel.FillSettings(c.format);
  // The copies in sector 6 differ from the memories, so that settings taken from the wrong
  // place show; another panel's settings differ from the first one's everywhere.
  auto& flash = panel.Flash();
  for (uint32_t i = kSettingsCopiesFrom; i < kSettingsCopiesTo; ++i)
    flash[i] ^= static_cast<uint8_t>(i * 13 + 7) ^ (another ? 0xA5 : 0);
  if (another) {
    for (auto& b : panel.Memory1()) b ^= 0x5A;
    for (auto& b : panel.Memory2()) b ^= 0x3C;
  }
  return {panel.Config(), panel.Flash(), panel.Memory1(), panel.Memory2()};
}

// --- The bench ---

class Bench::Time : public sim::TimeSource {
 public:
  explicit Time(FakeClock& clock) : clock_(clock) {}
  uint32_t NowMs() override { return clock_.NowMs(); }
  void AdvanceMs(uint32_t ms) override { clock_.Advance(ms); }

 private:
  FakeClock& clock_;
};

// The line as the tool sees it, with a look after every write.
class Bench::Watch : public test::ForwardingBackend {
 public:
  Watch(SerialBackend& inner, Bench& bench) : ForwardingBackend(inner), bench_(bench) {}
  SerialError Write(const uint8_t* buf, size_t n) override {
    const SerialError e = inner_.Write(buf, n);
    if (bench_.afterWrite) bench_.afterWrite();
    return e;
  }

 private:
  Bench& bench_;
};

Bench::Bench(const PanelImage& image)
    : panel_(std::make_unique<sim::SimulatedPanel>(image.config)),
      time_(std::make_unique<Time>(clock)),
      line_(std::make_unique<sim::InProcessLine>(*panel_, *time_)),
      watch_(std::make_unique<Watch>(*line_, *this)) {
  panel_->Flash() = image.flash;
  panel_->Memory1() = image.memory1;
  panel_->Memory2() = image.memory2;
}

Bench::~Bench() = default;

PanelImage Bench::Contents() const {
  return {panel_->Config(), panel_->Flash(), panel_->Memory1(), panel_->Memory2()};
}

void Bench::PowerCycle() {
  panel_->PowerCycle(uint64_t{clock.NowMs()} * 1000);
}

uint32_t Bench::Changes() const {
  return panel_->CommandCount(kEraseCommand) + panel_->CommandCount(kWritePageCommand) +
         panel_->CommandCount(kWriteMemory1Command) + panel_->CommandCount(kWriteMemory2Command);
}

SerialBackend& Bench::Line() {
  return *watch_;
}

Session::Session(Bench& bench, const std::string& firmwareFile, const fs::path& updaters)
    : core(bench.Line(), bench.clock, ui, log) {
  core.file.FirmwareFileName = firmwareFile;
  core.starterUpdate.UpdatersFolder = updaters.string();
  core.starterUpdate.AllowTestImages = true;
}

RunResult RunProgram(Bench& bench, Session& session, const fs::path& stateHome, uint32_t stopAt) {
  test::SetEnv("XDG_STATE_HOME", stateHome.string());
  RunResult result;
  sim::SimulatedPanel& panel = bench.Panel();
  const uint32_t first = panel.RequestCount();
  bench.afterWrite = [&] {
    const auto& history = session.log.History();
    const std::string label = history.empty() ? "" : LabelOf(StatusLog::Trimmed(history.back()));
    while (first + result.labels.size() < panel.RequestCount()) result.labels.push_back(label);
    if (stopAt > 0 && result.labels.size() >= stopAt) session.core.host.RequestStop();
  };
  session.core.host.ClearStop();
  result.outcome = session.core.Program(true);
  bench.afterWrite = nullptr;
  for (const auto& l : session.log.History()) result.lines.push_back(StatusLog::Trimmed(l));
  return result;
}

std::vector<uint32_t> Boundaries(const std::vector<std::string>& labels) {
  std::vector<uint32_t> starts;
  for (size_t i = 0; i < labels.size(); ++i)
    if (i == 0 || labels[i] != labels[i - 1]) starts.push_back(static_cast<uint32_t>(i + 1));
  return starts;
}

StateFiles CountStateFiles(const fs::path& stateHome) {
  StateFiles files;
  std::error_code e;
  for (const char* folder : {"recovery", "backups"}) {
    const fs::path dir = stateHome / "tavrino" / folder;
    if (!fs::is_directory(dir, e)) continue;
    for (fs::directory_iterator it(dir, e), end; !e && it != end; it.increment(e)) {
      const std::string name = it->path().filename().string();
      // An empty record file is a name a run stopped before filling it: it holds nothing,
      // no run reads it as a record, and a later run removes it once it is a minute old.
      std::error_code size;
      if (name.find(".tmp") != std::string::npos)
        ++files.temporaries;
      else if (it->file_size(size) == 0 && !size)
        continue;
      else if (folder[0] == 'r')
        ++files.records;
      else
        ++files.backups;
    }
  }
  return files;
}

void Fresh(const fs::path& dir) {
  std::error_code e;
  fs::remove_all(dir, e);
  fs::create_directories(dir, e);
}

void CopyState(const fs::path& from, const fs::path& to) {
  Fresh(to);
  std::error_code e;
  if (!fs::exists(from, e)) return;
  fs::copy(from, to, fs::copy_options::recursive, e);
  // Folders as private as the tool makes its own: a copy must not look tampered with.
  for (fs::recursive_directory_iterator it(to, e), end; !e && it != end; it.increment(e))
    if (it->is_directory(e)) fs::permissions(it->path(), fs::perms::owner_all, e);
}

std::string Tail(const RunResult& r) {
  std::string text = std::string("ended ") + OutcomeName(r.outcome);
  const size_t n = r.lines.size();
  for (size_t i = n > 3 ? n - 3 : 0; i < n; ++i) text += " | " + r.lines[i];
  return text;
}

void Show(const SweepOptions& options, const std::string& title, const RunResult& r) {
  if (!options.verbose) return;
  std::printf("  %s: %s\n", title.c_str(), OutcomeName(r.outcome));
  for (const auto& l : r.lines) std::printf("    | %s\n", l.c_str());
}

std::string StepAt(const RunResult& r, uint32_t k) {
  if (k == 0 || r.labels.empty()) return "-";
  return r.labels[std::min<size_t>(k, r.labels.size()) - 1];
}

}  // namespace tavrino::sweep
