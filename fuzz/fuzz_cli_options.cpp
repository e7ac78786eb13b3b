// SPDX-License-Identifier: GPL-2.0-or-later
// tavrino-cli's command line from any bytes: the input, cut at NUL bytes, is argv[1..].
// A good parse must name a command and hold together; no input may crash it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Options.h"

using namespace tavrino::cli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size && args.size() < 64; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  const ParseResult r = ParseArguments(args);
  if (!r.ok()) return 0;
  const Options& o = r.options;
  // A port is COM1..COM4, or a device path given instead (which then stands for COM1).
  const bool onePort = (o.port >= 1 && o.port <= 4 && o.portDevice.empty()) ||
                       (o.port == 0 && o.portDevice.find('/') != std::string::npos);
  switch (o.command) {
    case Command::Help:
    case Command::Version:
      break;
    case Command::Check:
      if (o.file.empty() || o.port != 0 || !o.portDevice.empty()) std::abort();
      break;
    case Command::Program:
    case Command::Test:
      if (o.file.empty() || !onePort) std::abort();
      break;
    case Command::Restart:
    case Command::Backup:
      if (!onePort) std::abort();
      break;
    case Command::None:
      std::abort();  // a good parse names a command
    default:
      break;
  }
  return 0;
}
