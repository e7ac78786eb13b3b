// SPDX-License-Identifier: GPL-2.0-or-later
// tavrino-pack: builds a .17 program file from one or two plain program halves, and writes
// the Starter updater test images.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "firmware/Packer.h"
#include "tools/TestUpdaters.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitFailed = 2;

const char* const kUsage =
    "Usage: tavrino-pack [--stamp c.cc.cc:language [--signature]] OUT.17 HALF1.bin [HALF2.bin]\n"
    "       tavrino-pack --test-updaters DIR\n"
    "\n"
    "Writes a QZ-17 program file of one half (12 MHz boards) or two halves (half 2 for\n"
    "24 MHz boards). Each half is 393212 program bytes, or 393216 bytes whose last four\n"
    "are replaced by the computed check trailer.\n"
    "\n"
    "  --stamp 1.04.02:1  write the version record (version 1.04.02, language 1) at\n"
    "                     0x12000 of every half\n"
    "  --signature        write 00 00 \"QZ17\" at 0x12000 and the record at 0x12006\n"
    "  --help             show this text\n"
    "\n"
    "Language codes: 0 pol, 1 eng, 2 ukr, 3 rus, 4 ger, 5 slo, 6 ita, 7 cze, 8 hun\n"
    "(any other code shows as ?\?\?).\n"
    "\n"
    "The output appears whole or not at all.\n"
    "\n"
    "--test-updaters DIR writes the five Starter updater TEST images (AT29C040A.bin,\n"
    "AM29F040B.bin, W29C040.bin, M29F040B.bin, A29040B.bin) into DIR, for the tests, the\n"
    "demo and the simulated panel. They are not the panel maker's code and would not run\n"
    "in a real panel: tavrino refuses them unless TAVRINO_ALLOW_TEST_UPDATERS=1.\n";

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "tavrino-pack: %s\n", message.c_str());
  if (code == kExitUsage) std::fprintf(stderr, "Try 'tavrino-pack --help'.\n");
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  std::string stampText;
  bool haveStamp = false;
  bool signature = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--test-updaters") {
      if (i + 1 == argc) return Fail(kExitUsage, "--test-updaters needs a folder");
      if (argc != 3) return Fail(kExitUsage, "--test-updaters takes a folder and nothing else");
      const std::string error = tavrino::test_updaters::WriteTestImages(argv[i + 1]);
      return error.empty() ? 0 : Fail(kExitFailed, error);
    }
    if (arg == "--stamp") {
      if (i + 1 == argc) return Fail(kExitUsage, "--stamp needs a version, e.g. 1.04.02:1");
      stampText = argv[++i];
      haveStamp = true;
    } else if (arg == "--signature") {
      signature = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Fail(kExitUsage, "unknown option " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() < 2 || files.size() > 3) {
    return Fail(kExitUsage, "expected OUT.17 and one or two halves");
  }
  if (signature && !haveStamp) return Fail(kExitUsage, "--signature goes with --stamp");

  std::string error;
  tavrino::VersionStamp stamp;
  if (haveStamp && !tavrino::ParseVersionStamp(stampText, stamp, error)) {
    return Fail(kExitUsage, error);
  }
  stamp.signature = signature;

  std::vector<std::vector<uint8_t>> halves(files.size() - 1);
  for (size_t i = 0; i < halves.size(); ++i) {
    if (!tavrino::ReadPlainHalf(files[i + 1], halves[i], error)) return Fail(kExitFailed, error);
  }
  std::vector<uint8_t> file;
  if (!tavrino::PackFirmware(halves, haveStamp ? &stamp : nullptr, file, error) ||
      !tavrino::WriteFileAtomically(files[0], file, error)) {
    return Fail(kExitFailed, error);
  }
  return 0;
}
