// SPDX-License-Identifier: GPL-2.0-or-later
// Reads a tavrino-panel transcript and says how close the tool came to the line rate.
//
//   bench_transcript TRANSCRIPT
//
// A transcript line is: start-us, end-us, kind (req, ans, lost), the wire bytes in hex and
// a description, separated by tabs. Times are the panel's: when the first byte of a frame
// was on the line and when its last byte was.
//
// Prints "key=value" lines on standard output (exit status 1 with a message for a
// transcript it cannot read):
//   requests, lost          frames the tool sent; those the panel could not take
//   answers, bytes_out, bytes_in
//   exchange_us             first request byte to last answer byte, over answered requests
//   panel_work_us           of that, the panel working between request and answer
//   prescribed_count, _us   waits the protocol asks for between an answer and the next
//                           request: the keypad greeting's pauses, the Starter update's waits
//   search_count, _us       unanswered handshakes: the connection search through the speeds
//   retry_count, _us        any other request left unanswered: time lost to time-outs
//   turnaround_count, _total_us, _median_us, _p99_us, _max_us
//                           last answer byte to the next request's first byte, the
//                           prescribed waits left out
//   wire_s_<speed>, efficiency_<speed>
//                           all bytes at that speed, 10 bits a byte; wire / (wire + turnaround)
//   answer_speeds           answers by the speed their timing shows ("unpaced" if none)
//   slowest_<n>             the slowest turnarounds, with their transcript lines
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum class Kind { Request, Answer, Lost };

struct Frame {
  uint64_t startUs = 0;
  uint64_t endUs = 0;
  Kind kind = Kind::Request;
  std::vector<uint8_t> raw;
  std::string description;
  size_t line = 0;
};

constexpr std::array<uint32_t, 4> kSpeeds = {9600, 19200, 38400, 57600};
constexpr uint32_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr size_t kSlowestShown = 3;

// First payload bytes of the requests that matter here.
constexpr uint8_t kTextCommand = 0x21;
constexpr uint8_t kTextClear1 = 0x02, kTextClear2 = 0x72;
constexpr uint8_t kRestartCommand = 0x67;
constexpr uint8_t kWritePageCommand = 0x65;
constexpr uint8_t kSyncFirstVariant = 0x1B;
constexpr uint8_t kSyncSecondVariant = 0x0D;
constexpr uint8_t kUpdaterHandshake = 0xA5;

bool ParseNumber(const std::string& text, uint64_t& value) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes) {
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) {
    if (pair.size() != 2 || pair.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
      return false;
    bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  }
  return !bytes.empty();
}

bool ParseLine(const std::string& line, Frame& frame) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (fields.size() < 4 || !ParseNumber(fields[0], frame.startUs) ||
      !ParseNumber(fields[1], frame.endUs) || frame.endUs < frame.startUs)
    return false;
  static const std::map<std::string, Kind> kinds = {
      {"req", Kind::Request}, {"ans", Kind::Answer}, {"lost", Kind::Lost}};
  const auto kind = kinds.find(fields[2]);
  if (kind == kinds.end()) return false;
  frame.kind = kind->second;
  frame.description = fields.size() > 4 ? fields[4] : "";
  return ParseHex(fields[3], frame.raw);
}

bool ReadTranscript(const char* path, std::vector<Frame>& frames) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "bench_transcript: cannot read %s\n", path);
    return false;
  }
  std::string text;
  for (size_t number = 1; std::getline(in, text); ++number) {
    if (text.empty()) continue;
    Frame f;
    if (!ParseLine(text, f)) {
      std::fprintf(stderr, "bench_transcript: %s:%zu: not a transcript line\n", path, number);
      return false;
    }
    f.line = number;
    frames.push_back(std::move(f));
  }
  if (frames.empty()) {
    std::fprintf(stderr, "bench_transcript: %s holds no frames\n", path);
    return false;
  }
  return true;
}

// The first three payload bytes of a request: after FF FF and the length byte, with the
// stuffing (FF 00 for FF) taken out; -1 where the frame is shorter.
std::array<int, 3> Head(const Frame& frame) {
  std::array<int, 3> head = {-1, -1, -1};
  size_t k = 0;
  for (size_t i = 3; i < frame.raw.size() && k < head.size(); ++i) {
    head[k++] = frame.raw[i];
    if (frame.raw[i] == 0xFF) ++i;  // skip the stuffing byte
  }
  return head;
}

bool IsCommand(const Frame& f, uint8_t code) {
  return Head(f)[0] == code;
}
bool IsKeypadClear(const Frame& f) {
  const auto h = Head(f);
  return h[0] == kTextCommand && h[1] == kTextClear1 && h[2] == kTextClear2;
}
bool IsSync(const Frame& f) {
  return IsCommand(f, kSyncFirstVariant) || IsCommand(f, kSyncSecondVariant);
}
// The handshakes the tool sends to find the panel, stepping through the link speeds until
// one is answered: their time-outs are part of the protocol, not time lost.
bool IsHandshake(const Frame& f) {
  return IsSync(f) || IsCommand(f, kUpdaterHandshake);
}

// A wait the protocol asks for between an answer and the next request: the pauses of the
// keypad greeting, and the waits around the restart of a Starter update (before the
// handshake that follows the last updater block, after the restart).
bool PrescribedWait(const Frame& request, const Frame& next) {
  return IsKeypadClear(request) || IsCommand(request, kRestartCommand) ||
         (IsCommand(request, kWritePageCommand) && IsSync(next));
}

// The nearest link speed to a frame's byte rate (0 when the frame took no time).
uint32_t NearestSpeed(const Frame& f) {
  const uint64_t us = f.endUs - f.startUs;
  if (us == 0) return 0;
  const double baud = 1e6 * kBitsPerByte * static_cast<double>(f.raw.size()) / us;
  uint32_t best = kSpeeds[0];
  for (uint32_t s : kSpeeds)
    if (std::abs(baud - s) < std::abs(baud - best)) best = s;
  return best;
}

// Nearest rank: the smallest value with at least a share p of the values at or below it.
uint64_t Percentile(const std::vector<uint64_t>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto rank = std::clamp<size_t>(
      static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size()))), 1, sorted.size());
  return sorted[rank - 1];
}

// The tool's time between an answer and its next request.
struct Gap {
  uint64_t us;
  const Frame* request;  // the request that was answered
  const Frame* next;
};

struct Totals {
  uint64_t requests = 0, lost = 0, answers = 0, bytesOut = 0, bytesIn = 0;
  uint64_t exchangeUs = 0, panelWorkUs = 0;
  uint64_t prescribedCount = 0, prescribedUs = 0;
  uint64_t searchCount = 0, searchUs = 0;
  uint64_t retryCount = 0, retryUs = 0;
  std::map<uint32_t, uint64_t> answerSpeeds;
  std::vector<Gap> turnarounds;
};

Totals Analyse(const std::vector<Frame>& frames) {
  Totals t;
  const Frame* request = nullptr;  // the tool's last frame
  const Frame* answer = nullptr;   // its answer, once one came
  for (const Frame& f : frames) {
    if (f.kind == Kind::Answer) {
      ++t.answers;
      t.bytesIn += f.raw.size();
      ++t.answerSpeeds[NearestSpeed(f)];
      if (request != nullptr && answer == nullptr) {
        answer = &f;
        t.exchangeUs += f.endUs - std::min(f.endUs, request->startUs);
        t.panelWorkUs += f.startUs - std::min(f.startUs, request->endUs);
      }
      continue;
    }
    ++t.requests;
    if (f.kind == Kind::Lost) ++t.lost;
    t.bytesOut += f.raw.size();
    if (request != nullptr && answer == nullptr) {
      const uint64_t waited = f.startUs - std::min(f.startUs, request->endUs);
      if (IsHandshake(*request)) {
        ++t.searchCount;
        t.searchUs += waited;
      } else {
        ++t.retryCount;
        t.retryUs += waited;
      }
    } else if (request != nullptr) {
      const uint64_t gap = f.startUs - std::min(f.startUs, answer->endUs);
      if (PrescribedWait(*request, f)) {
        ++t.prescribedCount;
        t.prescribedUs += gap;
      } else {
        t.turnarounds.push_back({gap, request, &f});
      }
    }
    request = &f;
    answer = nullptr;
  }
  return t;
}

void Put(const char* key, uint64_t value) {
  std::printf("%s=%llu\n", key, static_cast<unsigned long long>(value));
}

void Print(Totals& t) {
  std::vector<uint64_t> sorted;
  uint64_t turnaroundUs = 0;
  for (const Gap& g : t.turnarounds) {
    sorted.push_back(g.us);
    turnaroundUs += g.us;
  }
  std::sort(sorted.begin(), sorted.end());

  Put("requests", t.requests);
  Put("lost", t.lost);
  Put("answers", t.answers);
  Put("bytes_out", t.bytesOut);
  Put("bytes_in", t.bytesIn);
  Put("exchange_us", t.exchangeUs);
  Put("panel_work_us", t.panelWorkUs);
  Put("prescribed_count", t.prescribedCount);
  Put("prescribed_us", t.prescribedUs);
  Put("search_count", t.searchCount);
  Put("search_us", t.searchUs);
  Put("retry_count", t.retryCount);
  Put("retry_us", t.retryUs);
  Put("turnaround_count", sorted.size());
  Put("turnaround_total_us", turnaroundUs);
  Put("turnaround_median_us", Percentile(sorted, 0.5));
  Put("turnaround_p99_us", Percentile(sorted, 0.99));
  Put("turnaround_max_us", sorted.empty() ? 0 : sorted.back());
  for (uint32_t speed : kSpeeds) {
    const double wireS = static_cast<double>(t.bytesOut + t.bytesIn) * kBitsPerByte / speed;
    const double efficiency = wireS / (wireS + static_cast<double>(turnaroundUs) / 1e6);
    std::printf("wire_s_%u=%.3f\nefficiency_%u=%.5f\n", speed, wireS, speed, efficiency);
  }
  std::string speeds;
  for (const auto& [speed, count] : t.answerSpeeds) {
    if (!speeds.empty()) speeds += ' ';
    speeds += (speed ? std::to_string(speed) : "unpaced") + ":" + std::to_string(count);
  }
  std::printf("answer_speeds=%s\n", speeds.c_str());

  std::sort(t.turnarounds.begin(), t.turnarounds.end(),
            [](const Gap& a, const Gap& b) { return a.us > b.us; });
  for (size_t i = 0; i < std::min(kSlowestShown, t.turnarounds.size()); ++i) {
    const Gap& g = t.turnarounds[i];
    std::printf("slowest_%zu=%llu us after the answer to line %zu (%s), before line %zu (%s)\n",
                i + 1, static_cast<unsigned long long>(g.us), g.request->line,
                g.request->description.c_str(), g.next->line, g.next->description.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_transcript TRANSCRIPT\n");
    return 2;
  }
  std::vector<Frame> frames;
  if (!ReadTranscript(argv[1], frames)) return 1;
  Totals totals = Analyse(frames);
  Print(totals);
  return 0;
}
