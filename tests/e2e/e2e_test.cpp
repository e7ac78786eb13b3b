// SPDX-License-Identifier: GPL-2.0-or-later
// tavrino-cli, tavrino-panel and tavrino-pack as a technician runs them: real processes, the
// panel on a pseudo-terminal mapped as COM1, and the panel's state file read back after.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "Processes.h"
#include "cli/SampleProgram.h"
#include "sim/SimulatedPanel.h"

namespace tavrino::e2e {
namespace {

namespace fs = std::filesystem;

constexpr int kRunLimitS = 180;
// "BŁĄD" and "BRAK połączenia RS" as the terminal shows them (UTF-8).
const std::string kBlad =
    "B\xC5\x81\xC4\x84"
    "D";
const std::string kNoConnection =
    "BRAK po\xC5\x82\xC4\x85"
    "czenia RS";

// A closed log line as printed: label and status in the display's 59 columns.
std::string Line(const std::string& label, const std::string& status, size_t statusColumns) {
  return label + std::string(59 - label.size() - statusColumns, ' ') + status;
}
std::string Line(const std::string& label, const std::string& status) {
  return Line(label, status, status.size());
}

// The page sums the panel keeps at the end of a settings memory: a 16-bit sum of each
// page's bytes, low byte first; the last page is short.
bool PageSumsGood(const std::vector<uint8_t>& memory, size_t pages, size_t sumsAt,
                  size_t lastPageBytes) {
  for (size_t p = 0; p < pages; ++p) {
    const size_t bytes = p + 1 == pages ? lastPageBytes : 256;
    uint16_t sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum = static_cast<uint16_t>(sum + memory[p * 256 + i]);
    const uint16_t stored =
        static_cast<uint16_t>(memory[sumsAt + 2 * p] | memory[sumsAt + 2 * p + 1] << 8);
    if (sum != stored) return false;
  }
  return true;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrino-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // Recovery records and backups of the runs stay in the test's own folder.
    ::setenv("XDG_STATE_HOME", (dir_ / "state").c_str(), 1);
    link_ = (dir_ / "com1").string();
    state_ = (dir_ / "panel.state").string();
    file_ = (dir_ / "sample.17").string();
    const auto half = test::SampleHalf();
    std::ofstream((dir_ / "program.bin").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(half.data()),
               static_cast<std::streamsize>(half.size()));
    const Finished packed = RunProgram(
        {TAVRINO_PACK_PATH, file_, (dir_ / "program.bin").string(), "--stamp", "1.04.02:1"}, {},
        60);
    ASSERT_EQ(packed.status, 0) << packed.err;
    // The marked test images stand in for the maker's updaters, allowed for tests only.
    updaters_ = (dir_ / "updaters").string();
    const Finished images = RunProgram({TAVRINO_PACK_PATH, "--test-updaters", updaters_}, {}, 60);
    ASSERT_EQ(images.status, 0) << images.err;
  }
  void TearDown() override { fs::remove_all(dir_); }

  Finished Cli(std::vector<std::string> args) {
    args.insert(args.begin(), TAVRINO_CLI_PATH);
    return RunProgram(args, Environment(), kRunLimitS);
  }
  // The panel as the technician finds it: program 1.03.05 pol with settings of format 103.
  std::vector<std::string> FieldPanel(std::vector<std::string> more = {}) {
    std::vector<std::string> o = {"--program-version", "1.03.05:0", "--settings", "103",
                                  "--state",           state_};
    o.insert(o.end(), more.begin(), more.end());
    return o;
  }
  sim::SimulatedPanel SavedPanel() {
    sim::SimulatedPanel saved;
    EXPECT_TRUE(saved.LoadState(state_)) << saved.StateError();
    return saved;
  }

  Env Environment() const {
    return {{"TAVRINO_COM1", link_}, {"TAVRINO_ALLOW_TEST_UPDATERS", "1"}};
  }

  fs::path dir_;
  std::string link_, state_, file_, updaters_;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The request of an uninterrupted run's transcript at which it was writing memory 1 (its
// 40th block), in the middle of the settings conversion; 0 when there is none.
uint32_t MidConversion(const std::string& transcript) {
  std::ifstream lines(transcript);
  std::string line;
  uint32_t requests = 0, memoryWrites = 0;
  while (std::getline(lines, line)) {
    if (line.find("\treq\t") == std::string::npos) continue;
    ++requests;
    if (Has(line, "WriteSettings memory 1") && ++memoryWrites == 40) return requests;
  }
  return 0;
}

size_t FilesIn(const fs::path& dir) {
  std::error_code error;
  size_t n = 0;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) ++n;
  return n;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(EndToEnd, ProgramConvertsTheSettingsAndATestThenFindsTheSameProgram) {
  // An outdated Starter, replaced on the way with the updater image from --updaters.
  Panel panel(link_, FieldPanel({"--starter", "3.0:1"}));
  ASSERT_TRUE(panel.Started());

  const Finished program = Cli({file_, "1", "--updaters", updaters_});
  EXPECT_EQ(program.status, 0) << program.out << program.err;
  size_t at = 0;
  for (const std::string& line :
       {Line("Starter version:", "3.0 eng 12 MHz"), Line("Starter updater loading:", "  ok"),
        Line("Starter version:", "3.1 eng 12 MHz"), Line("Program in panel:", "1.03.05 pol"),
        Line("Program in file:", "1.04.02 eng"), Line("Programs comparison:", "newer"),
        Line("FLASH erasing:", "  ok"), Line("FLASH programing:", "  ok"),
        Line("Data recovering:", "  ok"), Line("Data conversion:", "  ok"),
        Line("Verification:", "  ok"), Line("Restarting panel", "  ok"),
        std::string("Done: the panel's program was updated.\n")}) {
    at = program.out.find(line, at);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << program.out;
  }

  const Finished test = Cli({"test", file_, "--port", "1"});
  EXPECT_EQ(test.status, 0) << test.out << test.err;
  EXPECT_TRUE(Has(test.out, Line("Verification:", "  ok") + "\nComparison ok.\n")) << test.out;

  ASSERT_EQ(panel.Stop(), 0);
  sim::SimulatedPanel saved = SavedPanel();
  const auto& flash = saved.Flash();
  const auto expected = test::StampedSampleHalf("10402", 1);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), flash.begin())) << "program";
  EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 0x4000, flash.begin() + 0x60000))
      << "BootCopy";
  // The settings were written back converted, with good page sums, and copied to sector 6.
  sim::SimulatedPanel before;
  before.FillSettings(103);
  EXPECT_NE(saved.Memory1(), before.Memory1());
  EXPECT_TRUE(PageSumsGood(saved.Memory1(), 127, 0x7F00, 0x60));
  EXPECT_TRUE(PageSumsGood(saved.Memory2(), 64, 0x3F80, 0x80));
  EXPECT_TRUE(std::equal(saved.Memory1().begin(), saved.Memory1().end(), flash.begin() + 0x68000));
  EXPECT_TRUE(std::equal(saved.Memory2().begin(), saved.Memory2().end(), flash.begin() + 0x64000));
}

// A second program looping on the port while a Program run connects (three silent
// handshakes, each followed by a speed change, then the switch to the fast speed), writes,
// verifies and restarts the panel: the port is never free for it until the run lets go.
TEST_F(EndToEnd, ASecondProgramLoopingOnThePortNeverGetsInDuringARun) {
  Panel panel(link_, FieldPanel());
  ASSERT_TRUE(panel.Started());
  TerminalSession cli({TAVRINO_CLI_PATH, file_, "1"}, {{"TAVRINO_COM1", link_}});
  ASSERT_TRUE(cli.WaitFor("Connecting:", 60)) << cli.Shown();  // the port is open from here

  std::atomic<bool> done{false};
  std::atomic<int> tries{0}, gotIn{0};
  std::thread rival([&] {
    // What a second instance of the tool does to take the port; root passes the
    // exclusive mode, so the lock is what must hold.
    while (!done.load()) {
      const int fd = open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      ++tries;
      if (fd >= 0) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) ++gotIn;
        close(fd);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const bool restarting = cli.WaitFor("Restarting panel", 240);
  done = true;
  rival.join();
  const Finished f = cli.Finish(120);
  ASSERT_TRUE(restarting) << cli.Shown();
  EXPECT_EQ(f.status, 0) << f.out;
  EXPECT_GT(tries.load(), 100);
  EXPECT_EQ(gotIn.load(), 0) << "of " << tries.load() << " tries";
}

TEST_F(EndToEnd, RestartAndPortsThatDoNotOpen) {
  Panel panel(link_, {});
  ASSERT_TRUE(panel.Started());
  const Finished restart = Cli({"restart", "--port", "1"});
  EXPECT_EQ(restart.status, 0) << restart.out << restart.err;
  EXPECT_EQ(restart.out, Line("Restarting panel", "  ok") + "\nDone: the panel restarted.\n");

  // Another program holds the line: nothing is sent, and the message says why.
  const int holder = open(link_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const Finished busy = Cli({"restart", "--port", "1"});
  close(holder);
  EXPECT_EQ(busy.status, 3);
  EXPECT_TRUE(Has(busy.err, "COM1 (" + link_ + ", from TAVRINO_COM1) is in use")) << busy.err;
  EXPECT_EQ(busy.out, "Failed: the serial port could not be opened.\n");

  const std::string missing = (dir_ / "ttyUSB9").string();
  const Finished none = RunProgram({TAVRINO_CLI_PATH, "restart", "--port", "1"},
                                   {{"TAVRINO_COM1", missing}}, kRunLimitS);
  EXPECT_EQ(none.status, 3);
  EXPECT_TRUE(Has(none.err, missing + ", from TAVRINO_COM1) does not exist")) << none.err;
}

TEST_F(EndToEnd, PortsTellsWhichDeviceIsComOneAndPortTakesADevicePath) {
  Panel panel(link_, {});
  ASSERT_TRUE(panel.Started());
  const Finished ports = Cli({"ports"});
  EXPECT_EQ(ports.status, 0) << ports.err;
  EXPECT_TRUE(Has(ports.out, "\nCOM1  " + link_ + "  free ")) << ports.out;

  const int holder = open(link_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const Finished held = Cli({"ports"});
  close(holder);
  EXPECT_TRUE(Has(held.out, "\nCOM1  " + link_ + "  busy: held by another program ")) << held.out;

  // No TAVRINO_COM1: the device is named on the command line.
  const Finished restart =
      RunProgram({TAVRINO_CLI_PATH, "restart", "--port", link_}, {}, kRunLimitS);
  EXPECT_EQ(restart.status, 0) << restart.out << restart.err;
  EXPECT_EQ(restart.out, Line("Restarting panel", "  ok") + "\nDone: the panel restarted.\n");
  const std::string told = "tavrino-cli: run report: " + (dir_ / "state/tavrino/runs/").string();
  EXPECT_TRUE(Has(restart.err, told)) << restart.err;
  EXPECT_EQ(
      std::distance(fs::directory_iterator(dir_ / "state/tavrino/runs"), fs::directory_iterator()),
      1);
}

TEST_F(EndToEnd, SilentPanelEndsTheRestartAsFailed) {
  Panel panel(link_, {"--silent-after", "0"});
  ASSERT_TRUE(panel.Started());
  const Finished restart = Cli({"restart", "--port", "1"});
  EXPECT_EQ(restart.status, 4) << restart.out << restart.err;
  EXPECT_TRUE(Has(restart.out, Line("Restarting panel", kBlad, 4) + "\n")) << restart.out;
  EXPECT_TRUE(Has(restart.out, "Failed: no connection with the panel.\n"));
}

// The panel's line vanishes (the terminal hangs up): the run says the port stopped working
// and ends as a port failure, not as a panel that went silent.
TEST_F(EndToEnd, PanelDyingMidWriteEndsTheProgramWithoutOk) {
  Panel panel(link_, FieldPanel({"--die-after", "800"}));
  ASSERT_TRUE(panel.Started());
  const Finished program = Cli({file_, "1"});
  EXPECT_EQ(program.status, 3) << program.out << program.err;
  EXPECT_TRUE(Has(program.out, Line("FLASH programing:", "port stopped working") + "\n"))
      << program.out;
  EXPECT_FALSE(Has(program.out, "Verification:"));
  EXPECT_TRUE(Has(program.out, "Failed: the serial port stopped working during the command.\n"))
      << program.out;
  EXPECT_TRUE(Has(program.err, "stopped working during the command (unplugged?)")) << program.err;
}

TEST_F(EndToEnd, CtrlCStopsTheRunAndTheLastLineSaysSo) {
  Panel panel(link_, {"--silent-after", "0"});
  ASSERT_TRUE(panel.Started());
  TerminalSession cli({TAVRINO_CLI_PATH, "test", file_, "--port", "1"}, Environment());
  ASSERT_TRUE(cli.WaitFor("Connecting:", 60)) << cli.Shown();
  cli.Signal(SIGINT);
  const Finished f = cli.Finish(60);
  EXPECT_EQ(f.status, 7) << f.out;
  // The stopped step's line, then (drawn live on the terminal) the line that says why.
  const size_t step = f.out.find(Line("Connecting:", kNoConnection, 18));
  ASSERT_NE(step, std::string::npos) << f.out;
  EXPECT_NE(f.out.find("Stopped by the user.", step), std::string::npos) << f.out;
  const std::string last = "Stopped: the command did not finish.\r\n";
  ASSERT_GE(f.out.size(), last.size());
  EXPECT_EQ(f.out.substr(f.out.size() - last.size()), last) << f.out;
}

TEST_F(EndToEnd, QuestionsAreAskedOnTheTerminalAndNoLeavesThePanelAlone) {
  Panel panel(link_, FieldPanel());
  ASSERT_TRUE(panel.Started());
  TerminalSession cli({TAVRINO_CLI_PATH, "program", file_, "--port", "1"}, Environment());
  ASSERT_TRUE(cli.WaitFor("Continue ? [y/n] ", 90)) << cli.Shown();
  cli.Type("n\n");
  const Finished f = cli.Finish(60);
  EXPECT_EQ(f.status, 6) << f.out;
  EXPECT_TRUE(Has(f.out, "Data format in panel differs from data format in file.")) << f.out;
  EXPECT_FALSE(Has(f.out, "FLASH erasing:"));

  ASSERT_EQ(panel.Stop(), 0);
  sim::SimulatedPanel saved = SavedPanel();
  const std::string record(saved.Flash().begin() + 0x12000, saved.Flash().begin() + 0x12005);
  EXPECT_EQ(record, "10305");
}

// The panel switched off in the middle of the settings conversion (its state kept as the
// power went), switched on again, and the same command run again: it finishes the update,
// and the panel ends as an uninterrupted run leaves it.
TEST_F(EndToEnd, AProgramCutShortMidConversionIsFinishedByTheSameCommand) {
  const std::string transcript = (dir_ / "whole.transcript").string();
  const std::string wholeState = (dir_ / "whole.state").string();
  {
    Panel whole(link_, {"--program-version", "1.03.05:0", "--settings", "103", "--state",
                        wholeState, "--transcript", transcript});
    ASSERT_TRUE(whole.Started());
    const Finished f = Cli({file_, "1"});
    ASSERT_EQ(f.status, 0) << f.out << f.err;
    ASSERT_EQ(whole.Stop(), 0);
  }
  const uint32_t cutAt = MidConversion(transcript);
  ASSERT_NE(cutAt, 0u) << "the conversion writes memory 1";

  {
    Panel cut(link_, FieldPanel({"--die-after", std::to_string(cutAt)}));
    ASSERT_TRUE(cut.Started());
    const Finished f = Cli({file_, "1"});
    EXPECT_EQ(f.status, 3) << f.out << f.err;
    EXPECT_TRUE(Has(f.out, Line("Data conversion:", "port stopped working"))) << f.out;
    EXPECT_TRUE(Has(f.out, "The same command finishes the work.")) << f.out;
    ASSERT_EQ(cut.Stop(), 0);
  }
  {
    Panel again(link_, {"--state", state_});
    ASSERT_TRUE(again.Started());
    const Finished f = Cli({file_, "1"});
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_TRUE(Has(f.out, "Unfinished update:")) << f.out;
    EXPECT_TRUE(Has(f.out, Line("Data conversion:", "  ok"))) << f.out;
    ASSERT_EQ(again.Stop(), 0);
  }
  sim::SimulatedPanel whole;
  ASSERT_TRUE(whole.LoadState(wholeState)) << whole.StateError();
  sim::SimulatedPanel finished = SavedPanel();
  EXPECT_TRUE(finished.Memory1() == whole.Memory1()) << "memory 1";
  EXPECT_TRUE(finished.Memory2() == whole.Memory2()) << "memory 2";
  EXPECT_TRUE(finished.Flash() == whole.Flash()) << "program, BootCopy and sector 6";
}

// Two panels of two kinds on two ports, programmed at once with one state folder, both cut
// in the middle of the settings conversion: each rerun finds its own record and finishes
// its own panel exactly as an uninterrupted run leaves it.
TEST_F(EndToEnd, TwoRunsAtOnceOnTwoPanelsEachFinishTheirOwnCut) {
  struct Port {
    std::string link, flashType, state, whole, transcript;
    uint32_t cutAt = 0;
  };
  std::vector<Port> ports;
  for (const char* type : {"2", "5"}) {
    const std::string at = (dir_ / (std::string("type") + type)).string();
    ports.push_back({at + ".pty", type, at + ".state", at + ".whole", at + ".transcript"});
  }
  // Both runs at once, each on its own port as its COM1.
  const auto both = [&](const std::function<std::vector<std::string>(const Port&)>& panel) {
    std::vector<std::unique_ptr<Panel>> panels;
    for (const Port& p : ports) {
      panels.push_back(std::make_unique<Panel>(p.link, panel(p)));
      EXPECT_TRUE(panels.back()->Started());
    }
    std::vector<std::future<Finished>> runs;
    for (const Port& p : ports) {
      runs.push_back(std::async(std::launch::async, [&, link = p.link] {
        return RunProgram({TAVRINO_CLI_PATH, file_, "1"}, {{"TAVRINO_COM1", link}}, kRunLimitS);
      }));
    }
    std::vector<Finished> done;
    for (auto& r : runs) done.push_back(r.get());
    for (auto& panel : panels) EXPECT_EQ(panel->Stop(), 0);
    return done;
  };
  const auto field = [](const Port& p, std::vector<std::string> more) {
    std::vector<std::string> o = {"--flash-type", p.flashType,  "--program-version",
                                  "1.03.05:0",    "--settings", "103"};
    o.insert(o.end(), more.begin(), more.end());
    return o;
  };

  for (const Finished& f : both([&](const Port& p) {
         return field(p, {"--state", p.whole, "--transcript", p.transcript});
       }))
    ASSERT_EQ(f.status, 0) << f.out << f.err;
  for (Port& p : ports) {
    p.cutAt = MidConversion(p.transcript);
    ASSERT_NE(p.cutAt, 0u) << p.flashType;
  }
  const fs::path recovery = dir_ / "state/tavrino/recovery";
  for (const Finished& f : both([&](const Port& p) {
         return field(p, {"--state", p.state, "--die-after", std::to_string(p.cutAt)});
       })) {
    EXPECT_EQ(f.status, 3) << f.out << f.err;
    EXPECT_TRUE(Has(f.out, Line("Data conversion:", "port stopped working"))) << f.out;
  }
  EXPECT_EQ(FilesIn(recovery), 2u) << "one record for each run";
  for (const Finished& f : both([&](const Port& p) {
         return std::vector<std::string>{"--state", p.state};
       })) {
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_TRUE(Has(f.out, "Unfinished update:")) << f.out;
    EXPECT_FALSE(Has(f.out, "other panel")) << f.out;
    EXPECT_TRUE(Has(f.out, Line("Data conversion:", "  ok"))) << f.out;
  }
  EXPECT_EQ(FilesIn(recovery), 0u);
  for (const Port& p : ports) {
    sim::SimulatedPanel whole, finished;
    ASSERT_TRUE(whole.LoadState(p.whole)) << whole.StateError();
    ASSERT_TRUE(finished.LoadState(p.state)) << finished.StateError();
    EXPECT_TRUE(finished.Flash() == whole.Flash()) << p.flashType;
    EXPECT_TRUE(finished.Memory1() == whole.Memory1()) << p.flashType;
    EXPECT_TRUE(finished.Memory2() == whole.Memory2()) << p.flashType;
  }
}

// Another local user's folder in place of recovery/ (a link to it, holding a record of
// theirs): the record is refused as untrusted and said so, nothing is written through the
// link, and the healthy panel is left as it is. Run with umask 000, every folder made for
// the host's state is still private.
TEST_F(EndToEnd, AHostileRecoveryFolderIsRefusedAndThePanelLeftAlone) {
  {
    // A record of a run cut while programming, on another panel of the same kind.
    Panel other(link_, {"--program-version", "1.03.05:0", "--settings", "103", "--state",
                        (dir_ / "other.state").string(), "--die-after", "800"});
    ASSERT_TRUE(other.Started());
    const mode_t mask = ::umask(0);
    const Finished f = Cli({file_, "1"});
    ::umask(mask);
    ASSERT_EQ(f.status, 3) << f.out << f.err;
    ASSERT_EQ(other.Stop(), 0);
  }
  const fs::path state = dir_ / "state";
  for (const fs::path& made :
       {state, state / "tavrino", state / "tavrino/recovery", state / "tavrino/runs"})
    EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
  const fs::path theirs = dir_ / "theirs";
  fs::rename(state / "tavrino/recovery", theirs);
  fs::create_directory_symlink(theirs, state / "tavrino/recovery");

  Panel panel(link_, FieldPanel());
  ASSERT_TRUE(panel.Started());
  const Finished f = Cli({file_, "1"});
  EXPECT_EQ(f.status, 9) << f.out << f.err;
  EXPECT_TRUE(Has(f.out, Line("Recovery record:", "a link, not a folder"))) << f.out;
  EXPECT_FALSE(Has(f.out, "Unfinished update:")) << f.out;
  EXPECT_FALSE(Has(f.out, "FLASH erasing:")) << f.out;
  EXPECT_EQ(FilesIn(theirs), 1u) << "nothing was written through the link";
  ASSERT_EQ(panel.Stop(), 0);
  sim::SimulatedPanel saved = SavedPanel();
  const std::string record(saved.Flash().begin() + 0x12000, saved.Flash().begin() + 0x12005);
  EXPECT_EQ(record, "10305") << "the panel keeps its program";
}

// The terminal closed in the middle of programming: the run winds down as on Ctrl+C, keeps
// its record and its run report with the line that says what was left, and ends with 129.
TEST_F(EndToEnd, AClosedTerminalEndsTheRunLikeCtrlCWithStatus129) {
  Panel panel(link_, FieldPanel());
  ASSERT_TRUE(panel.Started());
  TerminalSession cli({TAVRINO_CLI_PATH, file_, "1"}, Environment());
  ASSERT_TRUE(cli.WaitFor("FLASH programing:", 90)) << cli.Shown();
  cli.HangUp();
  const Finished f = cli.Finish(60);
  EXPECT_EQ(f.status, 129);
  const fs::path runs = dir_ / "state/tavrino/runs";
  ASSERT_EQ(FilesIn(runs), 1u);
  const std::string report = ReadText(fs::directory_iterator(runs)->path());
  EXPECT_TRUE(Has(report, "outcome: stopped (exit status 129)\n")) << report;
  EXPECT_TRUE(Has(report, "  Cut short: the panel's program is incomplete.\n")) << report;
  EXPECT_EQ(FilesIn(dir_ / "state/tavrino/recovery"), 1u) << "the record stays for the next run";
}

// A Program run that ended at its first erase (here refused by the panel) leaves its
// recovery record on this computer; the technician then updates the panel whole from
// another computer and comes back. The record is not the panel's any more: it is named and
// left alone, and the panel, which holds the file's program, is not written again.
TEST_F(EndToEnd, APanelUpdatedElsewhereIsNotResumedFromThisComputersRecord) {
  {
    Panel refusing(link_, FieldPanel({"--refuse", "102"}));  // 0x66: erase
    ASSERT_TRUE(refusing.Started());
    const Finished f = Cli({file_, "1"});
    EXPECT_EQ(f.status, 5) << f.out << f.err;
    EXPECT_TRUE(Has(f.out, Line("FLASH erasing:", kBlad, 4))) << f.out;
    ASSERT_EQ(refusing.Stop(), 0);
  }
  const fs::path records = dir_ / "state" / "tavrino" / "recovery";
  ASSERT_EQ(std::distance(fs::directory_iterator(records), fs::directory_iterator()), 1);
  {
    Panel elsewhere(link_, {"--state", state_});
    ASSERT_TRUE(elsewhere.Started());
    Env other = Environment();
    other["XDG_STATE_HOME"] = (dir_ / "other-computer").string();
    const Finished f = RunProgram({TAVRINO_CLI_PATH, file_, "1"}, other, kRunLimitS);
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_FALSE(Has(f.out, "Unfinished update:")) << f.out;
    ASSERT_EQ(elsewhere.Stop(), 0);
  }
  sim::SimulatedPanel updated = SavedPanel();
  {
    Panel again(link_, {"--state", state_});
    ASSERT_TRUE(again.Started());
    const Finished f = Cli({file_, "1"});
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    EXPECT_TRUE(Has(f.out, Line("Unfinished update:", "other panel"))) << f.out;
    EXPECT_TRUE(Has(f.out, Line("Programs comparison:", "  ok"))) << f.out;
    EXPECT_FALSE(Has(f.out, "FLASH erasing:")) << f.out;
    EXPECT_TRUE(Has(f.out, "Done: the panel already held this program.")) << f.out;
    ASSERT_EQ(again.Stop(), 0);
  }
  sim::SimulatedPanel after = SavedPanel();
  EXPECT_TRUE(after.Flash() == updated.Flash()) << "program, BootCopy and sector 6";
  EXPECT_TRUE(after.Memory1() == updated.Memory1()) << "memory 1";
  EXPECT_TRUE(after.Memory2() == updated.Memory2()) << "memory 2";
  EXPECT_EQ(std::distance(fs::directory_iterator(records), fs::directory_iterator()), 1)
      << "the record is left alone";
}

// A settings backup made over the line, the panel's settings then lost (both memories and
// sector 6's copies erased), and the backup restored with the same tool: the panel ends
// byte for byte as it was backed up. A backup that does not belong to a panel, or a file
// that is damaged, is refused with its own line and exit status, and nothing is written.
TEST_F(EndToEnd, BackupWipeRestoreEndsByteForByteAndWhatDoesNotBelongIsRefused) {
  const std::string backup = (dir_ / "panel.tavrec").string();
  {
    Panel field(link_, FieldPanel());
    ASSERT_TRUE(field.Started());
    const Finished f = Cli({"backup", "--port", "1", backup});
    ASSERT_EQ(f.status, 0) << f.out << f.err;
    ASSERT_EQ(field.Stop(), 0);
  }
  sim::SimulatedPanel made = SavedPanel();
  {
    sim::SimulatedPanel wiped = SavedPanel();
    std::fill(wiped.Memory1().begin(), wiped.Memory1().end(), 0xFF);
    std::fill(wiped.Memory2().begin(), wiped.Memory2().end(), 0xFF);
    std::fill(wiped.Flash().begin() + 0x64000, wiped.Flash().begin() + 0x70000, 0xFF);
    ASSERT_TRUE(wiped.SaveState(state_)) << wiped.StateError();
  }
  {
    Panel panel(link_, {"--state", state_});
    ASSERT_TRUE(panel.Started());
    const Finished f = Cli({"restore", "--port", "1", "--unattended", backup});
    EXPECT_EQ(f.status, 0) << f.out << f.err;
    for (const char* label : {"Data restoring:", "Settings check:", "Restarting panel"})
      EXPECT_TRUE(Has(f.out, Line(label, "  ok"))) << label << "\n" << f.out;
    EXPECT_TRUE(Has(f.out, "Done: the panel's settings were restored from the backup.")) << f.out;
    ASSERT_EQ(panel.Stop(), 0);
  }
  sim::SimulatedPanel after = SavedPanel();
  EXPECT_TRUE(after.Memory1() == made.Memory1()) << "memory 1";
  EXPECT_TRUE(after.Memory2() == made.Memory2()) << "memory 2";
  EXPECT_TRUE(after.Flash() == made.Flash()) << "program, BootCopy and sector 6";

  struct Refusal {
    std::vector<std::string> panel;  // the panel restored onto; none for a damaged file
    bool damaged;
    int status;
    std::string line;
  };
  const Refusal refusals[] = {
      {{"--flash-type", "5"}, false, 5, "Refused: the backup's FLASH type is AMD Am29F040."},
      {{"--board", "24"}, false, 5, "Refused: the backup is of a 12 MHz board."},
      {{"--program-version", "1.02.00:0"}, false, 5, "Refused: data 103 cannot go into data 102."},
      {{}, true, 2, Line("Settings backup:", "checksum wrong")},
  };
  const std::string other = (dir_ / "other.state").string();
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.line);
    std::string file = backup;
    if (r.damaged) {
      file = (dir_ / "damaged.tavrec").string();
      std::string bytes = ReadText(backup);
      bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x04);
      std::ofstream(file, std::ios::binary) << bytes;
    }
    std::vector<std::string> options = {"--program-version", "1.03.05:0", "--settings", "103",
                                        "--state",           other};
    options.insert(options.end(), r.panel.begin(), r.panel.end());
    fs::remove(other);
    Panel panel(link_, options);
    ASSERT_TRUE(panel.Started());
    const Finished f = Cli({"restore", "--port", "1", "--unattended", file});
    EXPECT_EQ(f.status, r.status) << f.out << f.err;
    EXPECT_TRUE(Has(f.out, r.line)) << f.out;
    EXPECT_FALSE(Has(f.out, "Data restoring:")) << f.out;
    ASSERT_EQ(panel.Stop(), 0);
  }
  EXPECT_EQ(FilesIn(dir_ / "state/tavrino/recovery"), 0u) << "no record of a refused restore";
}

}  // namespace
}  // namespace tavrino::e2e
