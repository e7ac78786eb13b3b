// SPDX-License-Identifier: GPL-2.0-or-later
// Loading and checking a two-half .17 file from the page cache, as Open File and every
// update run do: how many MB/s, and how that compares with descrambling alone.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "firmware/Checksum.h"
#include "firmware/Descramble.h"
#include "firmware/FirmwareFile.h"
#include "firmware/Packer.h"
#include "frontend/Clock.h"
#include "frontend/StatusLog.h"
#include "run/FileLoad.h"

namespace {

using namespace tavrino;

// Answers nothing and shows nothing: the bench measures the core alone.
class SilentFrontEnd : public FrontEnd {
 public:
  bool AskUser(const std::string&, bool) override { return false; }
  void ProcessMessages() override {}
  void ShowFile(const std::string&) override {}
  void ShowFileVersion(const std::string&) override {}
  void ShowPortSpeed(const std::string&) override {}
  void ShowWaitBox(bool) override {}
  bool ChooseFirmwareFile(std::string&) override { return false; }
  bool ChoosePortDialog(const std::array<bool, 4>&, uint16_t&, bool&) override { return false; }
  void RequestQuit() override {}
};

// Wall and CPU seconds: on a shared machine the wall clock also counts other people's work.
struct Timing {
  double wall;
  double cpu;
};

template <typename Work>
Timing Measure(Work work) {
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t cpuStart = std::clock();
  work();
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), cpu};
}

}  // namespace

int main(int argc, char** argv) {
  const int loads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

  std::vector<std::vector<uint8_t>> halves(2, std::vector<uint8_t>(kProgramBytes));
  for (size_t h = 0; h < 2; ++h) {
    for (size_t i = 0; i < kProgramBytes; ++i) halves[h][i] = static_cast<uint8_t>(i * 31 + h);
  }
  VersionStamp stamp{"10402", 1, false};
  std::vector<uint8_t> bytes;
  std::string error;
  std::string dir = (std::filesystem::temp_directory_path() / "tavrino-bench-XXXXXX").string();
  if (!PackFirmware(halves, &stamp, bytes, error) || ::mkdtemp(dir.data()) == nullptr ||
      !WriteFileAtomically(dir + "/bench.17", bytes, error)) {
    std::fprintf(stderr, "bench_load: cannot prepare the file: %s\n", error.c_str());
    return 1;
  }

  SteadyClock clock;
  SilentFrontEnd ui;
  StatusLog log;
  Host host(clock, ui, log);
  FirmwareImage image;
  FirmwareFile file(image);
  file.FirmwareFileName = dir + "/bench.17";
  auto load17 = [&] {
    return OpenFirmwareFile(host, file, false, ProgramHalf::First) == FileLoad::Loaded;
  };
  bool good = load17();  // also brings the file into the page cache

  const Timing load = Measure([&] {
    for (int i = 0; good && i < loads; ++i) good = load17();
  });
  std::filesystem::remove_all(dir);
  if (!good) {
    std::fprintf(stderr, "bench_load: the file did not load\n");
    return 1;
  }

  // The same bytes descrambled and summed in memory, without the reads.
  HalfChecksum sums;
  std::vector<uint8_t> copy(bytes.size());
  const Timing memory = Measure([&] {
    for (int i = 0; i < loads; ++i) {
      std::copy(bytes.begin(), bytes.end(), copy.begin());
      KeyPhase phase;
      DescrambleBytes(copy.data(), copy.size(), phase);
      sums.Add(copy.data(), copy.size());
    }
  });

  const double mb = static_cast<double>(bytes.size()) * loads / 1e6;
  std::printf(
      "bench_load: %d loads of a two-half file (%.1f MB): %.0f MB/s wall, %.0f MB/s CPU; "
      "descrambling and summing in memory alone: %.0f MB/s CPU (sum %04X)\n",
      loads, mb, mb / load.wall, mb / load.cpu, mb / memory.cpu, sums.sum);
  return 0;
}
