// SPDX-License-Identifier: GPL-2.0-or-later
// bench_record [runs]: what the recovery record costs one Program run, on this machine's
// disk: the four writes of an update that converts the settings (before the erasure, before
// sector 6 is rewritten, before the memories are written, and the retirement into a backup),
// each flushed to disk as the run does it. Prints the median and the worst run in ms; the
// folder is a fresh one under $TMPDIR (or /tmp), never the real state folder.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "state/RecordStore.h"

using namespace tavrino::state;
namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const char* tmp = std::getenv("TMPDIR");
  const fs::path root =
      fs::path(tmp ? tmp : "/tmp") / ("tavrino-bench-record-" + std::to_string(::getpid()));
  const RecordStore store(root);
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    RecoveryRecord r;
    r.writtenAt = NowSeconds();
    r.port = "COM1 /dev/pts/3";
    r.filePath = "/home/tech/firmware/qz17-1.04.02.17";
    r.dataCode = "103";
    fs::path path;
    if (!store.NewPath(Folder::Recovery, r.writtenAt, path).empty()) return 1;
    r.phase = RecordPhase::Programming;
    if (!store.Write(path, r).empty()) return 1;
    r.sector6Saved.assign(kSector6SavedBytes, 0x5A);
    r.sector6Written.assign(kSector6WrittenBytes, 0xA5);
    r.phase = RecordPhase::Sector6;
    if (!store.Write(path, r).empty()) return 1;
    r.memoriesRead.assign(kMemoriesBytes, 0x3C);
    r.memoriesWritten.assign(kMemoriesBytes, 0xC3);
    r.phase = RecordPhase::Memories;
    if (!store.Write(path, r).empty()) return 1;
    if (!store.Retire(path, r).empty()) return 1;
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  fs::remove_all(root);
  std::sort(ms.begin(), ms.end());
  std::printf("record_ms_median=%.3f\nrecord_ms_max=%.3f\nruns=%d\n", ms[ms.size() / 2], ms.back(),
              runs);
  return 0;
}
