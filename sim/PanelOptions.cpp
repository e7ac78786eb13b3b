// SPDX-License-Identifier: GPL-2.0-or-later
#include "sim/PanelOptions.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "sim/PanelImages.h"

namespace tavrino::sim {
namespace {

// Decimal, or hexadecimal with 0x; within [low, high].
bool Number(const std::string& text, uint64_t low, uint64_t high, uint64_t& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  if (v < low || v > high) return false;
  value = v;
  return true;
}

bool HexDigit(char c, uint8_t& v) {
  if (c >= '0' && c <= '9') {
    v = static_cast<uint8_t>(c - '0');
  } else if (c >= 'A' && c <= 'F') {
    v = static_cast<uint8_t>(c - 'A' + 10);
  } else {
    return false;
  }
  return true;
}

// "2.5:0" -> version byte 0x25, language 0.
bool StarterSpec(const std::string& text, uint8_t& version, uint8_t& language) {
  uint8_t major = 0, minor = 0;
  uint64_t lang = 1;
  if (text.size() < 3 || text[1] != '.' || !HexDigit(text[0], major) || !HexDigit(text[2], minor))
    return false;
  if (text.size() > 3 && (text[3] != ':' || !Number(text.substr(4), 0, 255, lang))) return false;
  version = static_cast<uint8_t>(major << 4 | minor);
  language = static_cast<uint8_t>(lang);
  return true;
}

// "1.03.05:0" -> "1.03.05", language 0.
bool ProgramSpec(const std::string& text, std::string& version, uint8_t& language) {
  const size_t colon = text.find(':');
  uint64_t lang = 1;
  if (colon != std::string::npos && !Number(text.substr(colon + 1), 0, 255, lang)) return false;
  const std::string v = text.substr(0, colon);
  if (!VersionChars(v)) return false;
  version = v;
  language = static_cast<uint8_t>(lang);
  return true;
}

bool IsSpeed(uint64_t baud) {
  return baud == 9600 || baud == 19200 || baud == 38400 || baud == 57600;
}

}  // namespace

std::string PanelUsage() {
  return R"(Usage: tavrino-panel --link PATH [options]

A simulated QZ-17 panel on a pseudo-terminal, for tests and the demo. It links the
terminal at PATH, prints that path, and serves until SIGINT or SIGTERM.

The panel:
  --flash-type N          flash chip code (1..6; other codes to see them refused)   [2]
  --starter V.v[:L]       Starter version and language code, e.g. 2.5:0              [3.1:1]
  --board 12|24           board clock                                               [12]
  --bad-flash-version     the handshake reports a bad flash version
  --first-variant         an older Starter: answers only the first handshake
  --listen-baud N         speed after power-on (9600, 19200, 38400, 57600)          [9600]
  --speed-answer N        answer to the speed request (0: 38400, 1 and 2: 57600)      [1]
  --program FILE          program from a raw image of 0x5FFFC or 0x60000 bytes
  --program-version V[:L] synthetic program, e.g. 1.03.05:0                     [1.04.01:1]
  --signature             keep its version record behind the "QZ17" signature
  --blank                 no program at all
  --settings 103|104      settings memories in that format   [as the program's version]
  --updater-9600-only     the Starter updater answers only at 9600 bit/s
  --cts-delay MS          CTS comes on this long after the program starts           [2000]
  --state FILE            load the panel from FILE if it exists (it then replaces the
                          panel options above) and save it there at exit

Language codes (L): 0 pol, 1 eng, 2 ukr, 3 rus, 4 ger, 5 slo, 6 ita, 7 cze, 8 hun
(any other code shows as ???).

The line:
  --pace                  bytes at the real line rate, plus the panel's working times
  --no-hold               with --pace: take each request as soon as it is there instead
                          of when its last byte would have arrived (a pseudo-terminal
                          drains at once, so a tool that waits for its output to drain
                          sees a real line so)
  --erase-ms MS           sector erase time with --pace                              [700]
  --page-us US            page write time with --pace                               [4000]
  --transcript FILE       one line per frame: start-us end-us kind hex description,
                          tab-separated; kind is req, ans or lost (not taken: wrong
                          speed, bad check bytes, panel busy); times in microseconds
                          since the panel started, first byte start / last byte end

Faults:
  --silent-cmd CODE       no answer to this command code (may repeat)
  --silent-after N        no answer after N requests
  --silent-next N         no answer to the next N requests
  --die-after N           the line goes dead after N requests (the terminal closes)
  --refuse CODE           answer this command with the error code (may repeat)
  --error-code CODE       the code of refusals, 0x93 or 0x94                       [0x93]
  --corrupt N             a damaged byte in the next N answers
  --wrong-length N        one data byte too many in the next N answers
  --stray N               a stray byte after each of the next N answers
  --delay MS              wait this long before every answer
  --late N                the next N answers reach the tool late (--late-by), while
                          the panel already listens again
  --late-by MS            how late                                                  [100]
  --help                  this text
)";
}

bool ParsePanelOptions(const std::vector<std::string>& args, PanelOptions& o, std::string& error) {
  // Options with a value, each checking and storing it; panel options are noted.
  using Setter = std::function<bool(const std::string&)>;
  uint64_t v = 0;
  auto byteCode = [&v](uint8_t& to) {
    return [&v, &to](const std::string& s) {
      return Number(s, 0, 255, v) ? (to = uint8_t(v), true) : false;
    };
  };
  auto count = [&v](uint32_t& to) {
    return [&v, &to](const std::string& s) {
      return Number(s, 0, 0xFFFFFFFF, v) ? (to = uint32_t(v), true) : false;
    };
  };
  auto limit = [&v](std::optional<uint32_t>& to) {
    return [&v, &to](const std::string& s) {
      return Number(s, 0, 0xFFFFFFFF, v) ? (to = uint32_t(v), true) : false;
    };
  };
  auto text = [](std::string& to) {
    return [&to](const std::string& s) {
      to = s;
      return !s.empty();
    };
  };
  auto codeSet = [&v](std::set<uint8_t>& to) {
    return [&v, &to](const std::string& s) {
      return Number(s, 0, 255, v) ? (to.insert(uint8_t(v)), true) : false;
    };
  };
  uint32_t eraseMs = o.timing.sectorEraseUs / 1000;
  const std::map<std::string, std::pair<bool, Setter>> valued = {
      {"--link", {false, text(o.link)}},
      {"--flash-type", {true, byteCode(o.config.flashType)}},
      {"--starter",
       {true,
        [&](const std::string& s) {
          return StarterSpec(s, o.config.starterVersion, o.config.starterLanguage);
        }}},
      {"--board",
       {true,
        [&](const std::string& s) {
          if (s != "12" && s != "24") return false;
          o.config.board24MHz = s == "24";
          return true;
        }}},
      {"--listen-baud",
       {true,
        [&](const std::string& s) {
          return Number(s, 0, 1000000, v) && IsSpeed(v) ? (o.config.listenBaud = uint32_t(v), true)
                                                        : false;
        }}},
      {"--speed-answer", {true, byteCode(o.config.speedAnswer)}},
      {"--program", {true, text(o.programFile)}},
      {"--program-version",
       {true,
        [&](const std::string& s) { return ProgramSpec(s, o.programVersion, o.programLanguage); }}},
      {"--settings",
       {true,
        [&](const std::string& s) {
          if (s != "103" && s != "104") return false;
          o.settingsFormat = std::stoi(s);
          return true;
        }}},
      {"--cts-delay", {true, count(o.config.ctsDelayMs)}},
      {"--state", {false, text(o.statePath)}},
      {"--transcript", {false, text(o.transcriptPath)}},
      {"--erase-ms", {false, count(eraseMs)}},
      {"--page-us", {false, count(o.timing.pageWriteUs)}},
      {"--silent-cmd", {false, codeSet(o.faults.silentCommands)}},
      {"--silent-after", {false, limit(o.faults.silentAfterFrames)}},
      {"--silent-next", {false, count(o.faults.silentNextFrames)}},
      {"--die-after", {false, limit(o.faults.dieAfterFrames)}},
      {"--refuse", {false, codeSet(o.faults.refuseCommands)}},
      {"--error-code", {false, byteCode(o.faults.errorCode)}},
      {"--corrupt", {false, count(o.faults.corruptNextAnswers)}},
      {"--wrong-length", {false, count(o.faults.wrongLengthNextAnswers)}},
      {"--stray", {false, count(o.faults.strayBytesAfterNextAnswers)}},
      {"--delay", {false, count(o.faults.answerDelayMs)}},
      {"--late", {false, count(o.faults.lateNextAnswers)}},
      {"--late-by", {false, count(o.faults.lateByMs)}},
  };
  const std::map<std::string, std::pair<bool, std::function<void()>>> flags = {
      {"--bad-flash-version", {true, [&] { o.config.badFlashVersion = true; }}},
      {"--first-variant", {true, [&] { o.config.firstHandshakeVariant = true; }}},
      {"--updater-9600-only", {true, [&] { o.config.updaterOnly9600 = true; }}},
      {"--signature", {true, [&] { o.signature = true; }}},
      {"--blank", {true, [&] { o.blank = true; }}},
      {"--pace", {false, [&] { o.timing.pace = true; }}},
      {"--no-hold", {false, [&] { o.timing.holdRequests = false; }}},
      {"--help", {false, [&] { o.help = true; }}},
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (const auto f = flags.find(arg); f != flags.end()) {
      f->second.second();
      if (f->second.first) o.panelOptionsGiven.push_back(arg);
      continue;
    }
    const auto s = valued.find(arg);
    if (s == valued.end()) {
      error = "unknown option " + arg;
      return false;
    }
    if (i + 1 >= args.size()) {
      error = arg + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    if (!s->second.second(value)) {
      error = "bad value for " + arg + ": " + value;
      return false;
    }
    if (s->second.first) o.panelOptionsGiven.push_back(arg);
  }
  o.timing.sectorEraseUs = eraseMs * 1000;
  if (o.help) return true;
  if (o.link.empty()) {
    error = "--link PATH is required";
    return false;
  }
  if (o.faults.errorCode != 0x93 && o.faults.errorCode != 0x94) {
    error = "--error-code must be 0x93 or 0x94";
    return false;
  }
  return true;
}

bool BuildPanel(const PanelOptions& o, SimulatedPanel& panel, std::string& error) {
  panel.Config() = o.config;
  panel.InstallStarter(o.config.starterVersion, o.config.starterLanguage);
  // Unless told otherwise, the settings are in the format of the program that uses them.
  int format = o.settingsFormat;
  if (format == 0) {
    const bool synthetic = !o.blank && o.programFile.empty();
    format =
        synthetic && VersionChars(o.programVersion).value_or("").substr(0, 3) == "103" ? 103 : 104;
  }
  panel.FillSettings(format);
  if (!o.programFile.empty()) {
    std::ifstream file(o.programFile, std::ios::binary);
    if (!file) {
      error = "cannot open the program image " + o.programFile;
      return false;
    }
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(file), {}};
    if (!panel.LoadProgram(image)) {
      error = "the program image " + o.programFile + " has " + std::to_string(image.size()) +
              " bytes; it must have 393212 (0x5FFFC) or 393216 (0x60000)";
      return false;
    }
  } else if (!o.blank) {
    panel.SynthesizeProgram(o.programVersion, o.programLanguage, o.signature);
  }
  panel.Timing() = o.timing;
  panel.FaultSettings() = o.faults;
  panel.PowerOn();
  return true;
}

}  // namespace tavrino::sim
