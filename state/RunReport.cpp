// SPDX-License-Identifier: GPL-2.0-or-later
#include "state/RunReport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <system_error>

#include "firmware/Sha256.h"
#include "state/OwnFolders.h"

namespace tavrino {
namespace {

namespace fs = std::filesystem;

const std::string kHeader = "Tavrino run report, format ";
const std::string kSumLabel = "sha256: ";
constexpr int kNameTries = 100;

// A value stays on its own line whatever it holds.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

std::string SumOf(const std::string& text) {
  return Sha256::Hex(Sha256::Of(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
}

// The calendar of the standard library: the same on every platform, and thread-safe.
std::tm UtcParts(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto day = floor<days>(when);
  const year_month_day date{day};
  const hh_mm_ss time{floor<seconds>(when - day)};
  std::tm parts{};
  parts.tm_year = static_cast<int>(date.year()) - 1900;
  parts.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
  parts.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
  parts.tm_hour = static_cast<int>(time.hours().count());
  parts.tm_min = static_cast<int>(time.minutes().count());
  parts.tm_sec = static_cast<int>(time.seconds().count());
  return parts;
}

// "20261210-142031.123-program.txt": names sort as the runs happened.
std::string FileName(const RunReport& report, int attempt) {
  const std::tm p = UtcParts(report.started);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(report.started.time_since_epoch())
          .count() %
      1000;
  char stamp[80];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d.%03d", p.tm_year + 1900,
                p.tm_mon + 1, p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec, static_cast<int>(ms));
  std::string command = report.command;
  std::transform(command.begin(), command.end(), command.begin(),
                 [](unsigned char c) { return std::isalnum(c) ? std::tolower(c) : '-'; });
  std::string name = std::string(stamp) + "-" + command;
  if (attempt > 0) name += '-' + std::to_string(attempt + 1);
  return name + ".txt";
}

bool IsReportName(const std::string& name) {
  return name.size() > 24 && name.compare(name.size() - 4, 4, ".txt") == 0 &&
         std::all_of(name.begin(), name.begin() + 8,
                     [](unsigned char c) { return std::isdigit(c); }) &&
         name[8] == '-';
}

}  // namespace

std::string UtcTimeText(std::chrono::system_clock::time_point when) {
  const std::tm p = UtcParts(when);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", p.tm_year + 1900, p.tm_mon + 1,
                p.tm_mday, p.tm_hour, p.tm_min, p.tm_sec);
  return text;
}

std::string FormatRunReport(const RunReport& r) {
  std::ostringstream out;
  out << kHeader << kRunReportFormat << "\n";
  const std::pair<const char*, std::string> fields[] = {
      {"command", r.command},
      {"front end", r.frontEnd},
      {"started", UtcTimeText(r.started)},
      {"ended", UtcTimeText(r.ended)},
      {"outcome", r.outcome + " (exit status " + std::to_string(r.exitStatus) + ")"},
      {"file", r.file},
      {"file version", r.fileVersion},
      {"panel version", r.panelVersion},
      {"port", r.port},
      {"speed", r.speed},
  };
  for (const auto& [name, value] : fields) {
    out << name << ":" << (value.empty() ? "" : ' ' + OneLine(value)) << "\n";
  }
  out << "status lines:\n";
  for (const std::string& line : r.lines) out << "  " << OneLine(line) << "\n";
  std::string text = out.str();
  return text + kSumLabel + SumOf(text) + "\n";
}

os::Failure CheckRunReport(const std::string& text) {
  const std::string wantHeader = kHeader + std::to_string(kRunReportFormat) + "\n";
  if (text.compare(0, kHeader.size(), kHeader) != 0) return "not a run report";
  if (text.compare(0, wantHeader.size(), wantHeader) != 0) return "a run report of another format";
  if (text.empty() || text.back() != '\n') return "the run report is cut short";
  const size_t last = text.rfind('\n', text.size() - 2);
  if (last == std::string::npos) return "the run report is cut short";
  const std::string body = text.substr(0, last + 1);
  const std::string sumLine = text.substr(last + 1);
  if (sumLine.compare(0, kSumLabel.size(), kSumLabel) != 0) return "the run report is cut short";
  if (sumLine != kSumLabel + SumOf(body) + "\n") return "the run report is damaged (checksum)";
  return {};
}

fs::path RunReportDir(os::Failure& reason) {
  const fs::path state = os::StateDir(reason);
  if (state.empty()) return {};
  return state / "runs";
}

os::Failure SaveRunReport(const fs::path& dir, const RunReport& report, fs::path& written,
                          size_t& removed) {
  written.clear();
  removed = 0;
  // The host's own folder is private too when it is made here, not only the reports'; and
  // neither is used when another user could have put files there or made it a link.
  if (os::Failure refused = state::MakeOwnFolder(dir.parent_path(), dir); !refused.empty())
    return refused;
  state::RemoveLeftovers(dir, IsReportName);
  const std::string text = FormatRunReport(report);
  fs::path path;
  const auto name = [&report](int attempt) { return FileName(report, attempt); };
  if (os::Failure failed = state::ClaimNewName(dir, name, kNameTries, path); !failed.empty())
    return failed;
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  if (os::Failure failed = os::WriteFileAtomically(path, bytes); !failed.empty()) {
    os::RemoveFile(path);
    return failed;
  }
  written = path;
  removed = state::PruneOldest(dir, kKeptRunReports, IsReportName, path);
  return {};
}

os::Failure SaveRunReport(const fs::path& dir, const RunReport& report, fs::path& written) {
  size_t removed = 0;
  return SaveRunReport(dir, report, written, removed);
}

}  // namespace tavrino
