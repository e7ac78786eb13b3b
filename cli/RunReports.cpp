// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/RunReports.h"

#include "frontend/Cp1250.h"
#include "run/Core.h"

namespace tavrino::cli {
namespace {

const char* ReportedCommand(Command command) {
  switch (command) {
    case Command::Program:
      return "Program";
    case Command::Test:
      return "Test";
    case Command::Restart:
      return "Restart";
    case Command::Restore:
      return "Restore";
    default:
      return nullptr;
  }
}

}  // namespace

CliRunReport::CliRunReport(StatusLogView& view, StatusLineTap::LineSink alsoInFull)
    : tap_(
          &view, [this](const std::string& line) { lines_.push_back(Cp1250ToUtf8(line)); },
          [this, also = std::move(alsoInFull)](const std::string& text) {
            lines_.push_back(text);
            if (also) also(text);
          }) {}

void CliRunReport::Start(Core& core, Command command) {
  const char* name = ReportedCommand(command);
  if (name == nullptr) return;
  report_ = core.BeginRunReport(name, "tavrino-cli");
  lines_.clear();
  started_ = true;
}

void CliRunReport::Save(const Core& core, Outcome outcome, int exitStatus,
                        const std::string& portDevice, const std::filesystem::path& dir,
                        std::ostream& err) {
  if (!started_ || dir.empty()) return;
  tap_.Flush();
  core.FinishRunReport(outcome, report_);
  report_.exitStatus = exitStatus;
  if (!portDevice.empty()) report_.port = portDevice;
  report_.lines = lines_;
  std::filesystem::path written;
  size_t removed = 0;
  const os::Failure failed = SaveRunReport(dir, report_, written, removed);
  if (failed.empty()) {
    err << "tavrino-cli: run report: " << written.string();
    if (removed > 0)
      err << " (" << removed << " older report" << (removed == 1 ? "" : "s")
          << " removed, the newest " << kKeptRunReports << " are kept)";
    err << "\n" << std::flush;
  } else {
    err << "tavrino-cli: the run report was not written: " << failed << "\n" << std::flush;
  }
}

}  // namespace tavrino::cli
