// Whole commands of tavrino-cli on the in-process simulated panel and the fake clock: what
// the person sees, the exit status, and what reached the panel.
#include "cli/Commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/SampleProgram.h"
#include "firmware/Packer.h"
#include "sim/InProcessLine.h"
#include "sim/SimulatedPanel.h"
#include "state/RunReport.h"
#include "support/PanelRig.h"

namespace tavrino::cli {
namespace {

namespace fs = std::filesystem;

class CliCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrino-cli-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    VersionStamp stamp;
    std::string error;
    ASSERT_TRUE(ParseVersionStamp("1.04.02:1", stamp, error)) << error;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(PackFirmware({test::SampleHalf()}, &stamp, bytes, error)) << error;
    file_ = (dir_ / "sample.17").string();
    ASSERT_TRUE(WriteFileAtomically(file_, bytes, error)) << error;
    // The panel in the field: program 1.03.05 pol with settings of the data format 103.
    panel_.SynthesizeProgram("1.03.05", 0);
    panel_.FillSettings(103);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs tavrino-cli with these arguments; typed is what the person answers (interactive).
  int Run(const std::vector<std::string>& args, const std::string& typed = "",
          bool interactive = false, const std::function<void(Host&)>& started = {}) {
    const ParseResult parsed = ParseArguments(args);
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    close(fds[1]);
    out_.str("");
    err_.str("");
    Terminal term(out_, false);
    Console console{term, err_, out_, fds[0], interactive, reportDir_};
    const int status = RunCommand(parsed.options, line_, clock_, console, started);
    close(fds[0]);
    return status;
  }
  bool Shows(const std::string& text) const { return out_.str().find(text) != std::string::npos; }

  fs::path dir_;
  fs::path reportDir_;  // empty: no run reports
  std::string file_;
  FakeClock clock_{1000};
  test::FakeTime time_{clock_};
  sim::SimulatedPanel panel_;
  sim::InProcessLine line_{panel_, time_};
  std::ostringstream out_, err_;
};

TEST_F(CliCommand, CheckTellsGoodFromMissingFiles) {
  EXPECT_EQ(Run({file_}), 0);
  EXPECT_TRUE(Shows("File checking:                                           ok\n"));
  EXPECT_TRUE(Shows("Program in file: 1.04.02 eng\n"));
  EXPECT_EQ(Run({"check", (dir_ / "none.17").string()}), 2);
  EXPECT_TRUE(Shows("Selected file does not exist.\n"));
  EXPECT_EQ(panel_.RequestCount(), 0u);
}

TEST_F(CliCommand, UnattendedProgramConvertsTheSettingsAndEchoesKeypadAndFrames) {
  const std::string trace = (dir_ / "trace.txt").string();
  EXPECT_EQ(Run({file_, "1", "--keypad", "--trace", trace}), 0) << out_.str() << err_.str();
  for (const char* line :
       {"Connecting:", "Programs comparison:", "FLASH erasing:", "FLASH programing:",
        "Data recovering:", "Data conversion:", "Verification:", "Restarting panel"}) {
    EXPECT_TRUE(Shows(line)) << line << "\n" << out_.str();
  }
  EXPECT_TRUE(Shows("Keypad: upper [Tavrino v4.06   ] lower [Express mode    ]\n")) << out_.str();
  EXPECT_TRUE(Shows("Done: the panel's program was updated.\n"));
  EXPECT_GT(panel_.CommandCount(0x65), 0u);

  std::ifstream in(trace);
  const std::string frames((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* entry : {"-> identify\n", "<- data (0x92)", "-> erase sector 0\n",
                            "-> write flash 0x000000, 256 bytes\n", "-> restart\n"}) {
    EXPECT_NE(frames.find(entry), std::string::npos) << entry;
  }
}

TEST_F(CliCommand, ProgramAsksOnTheTerminalAndNoWritesNothing) {
  EXPECT_EQ(Run({"program", file_, "--port", "1"}, "n\nn\nn\nn\n", true), 6) << out_.str();
  EXPECT_TRUE(Shows(" [y/n] ")) << out_.str();
  EXPECT_TRUE(Shows("Cancelled: a question was answered No.\n"));
  EXPECT_EQ(panel_.CommandCount(0x66), 0u);
  EXPECT_EQ(panel_.CommandCount(0x65), 0u);
}

TEST_F(CliCommand, RefusesToStartWhatItCannotDoSafely) {
  // Program without a terminal to ask on.
  EXPECT_EQ(Run({"program", file_, "--port", "1"}), 1);
  EXPECT_NE(err_.str().find("--unattended"), std::string::npos);
  // A trace that would overwrite the firmware file, by another name.
  const auto size = fs::file_size(file_);
  EXPECT_EQ(Run({file_, "1", "--trace", (dir_ / "." / "sample.17").string()}), 1);
  EXPECT_NE(err_.str().find("the trace file is the firmware file"), std::string::npos);
  EXPECT_EQ(fs::file_size(file_), size);
  EXPECT_EQ(panel_.RequestCount(), 0u);
}

TEST_F(CliCommand, RestartAndAPortThatDoesNotOpen) {
  EXPECT_EQ(Run({"restart", "--port", "1"}), 0);
  EXPECT_TRUE(Shows("Restarting panel                                         ok\n")) << out_.str();

  line_.SetAvailableDevices({"COM2"});
  EXPECT_EQ(Run({"restart", "--port", "1"}), 3);
  EXPECT_EQ(out_.str(), "Failed: the serial port could not be opened.\n");
  EXPECT_NE(err_.str().find("COM1 ("), std::string::npos) << err_.str();
}

TEST_F(CliCommand, APortGivenByItsPathAndTheRunReportOfEachCommand) {
  reportDir_ = dir_ / "runs";
  line_.SetAvailableDevices({"/dev/ttyUSB3"});
  EXPECT_EQ(Run({"restart", "--port", "/dev/ttyUSB3"}), 0) << err_.str();
  EXPECT_EQ(line_.Device(), "/dev/ttyUSB3");
  const std::string told = "tavrino-cli: run report: ";
  const size_t at = err_.str().find(told);
  ASSERT_NE(at, std::string::npos) << err_.str();
  const std::string path =
      err_.str().substr(at + told.size(), err_.str().find('\n', at) - at - told.size());
  std::ifstream in(path);
  const std::string report((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(CheckRunReport(report), "");
  for (const char* part : {"command: Restart\n", "front end: tavrino-cli\n", "port: /dev/ttyUSB3\n",
                           "outcome: restarted (exit status 0)\n",
                           "\n  Restarting panel                                         ok\n"}) {
    EXPECT_NE(report.find(part), std::string::npos) << part << report;
  }

  EXPECT_EQ(Run({"restart", "--port", "/dev/ttyUSB4"}), 3);
  EXPECT_NE(err_.str().find("/dev/ttyUSB4 does not exist."), std::string::npos) << err_.str();
  EXPECT_EQ(err_.str().find("COM1"), std::string::npos) << "no COMn stands for a path";
  EXPECT_NE(err_.str().find(told), std::string::npos) << "a failed command keeps its report too";

  EXPECT_EQ(Run({file_}), 0);
  EXPECT_EQ(err_.str().find(told), std::string::npos) << "checking a file is no run";
  EXPECT_EQ(std::distance(fs::directory_iterator(reportDir_), fs::directory_iterator()), 2);
}

TEST_F(CliCommand, StopEndsTheCommandAndTheLastLineSaysSo) {
  const int status =
      Run({"test", file_, "--port", "1"}, "", false, [](Host& host) { host.RequestStop(); });
  EXPECT_EQ(status, 7);
  const std::string out = out_.str();
  EXPECT_EQ(out.substr(out.size() - 21), "Stopped by the user.\n") << out;
}

}  // namespace
}  // namespace tavrino::cli
