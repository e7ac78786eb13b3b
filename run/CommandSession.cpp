// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/CommandSession.h"

#include <cstdlib>

#include "frontend/Cp1250.h"
#include "frontend/Printable.h"
#include "os/Console.h"
#include "serial/PortDiscovery.h"

namespace tavrino {

std::string ReportSaved::Told(bool tellRemoved) const {
  if (!kept) return {};
  if (!failed.empty()) return "the run report was not written: " + failed;
  std::string told = "run report: " + written.string();
  if (tellRemoved && removed > 0) {
    told += " (" + std::to_string(removed) + " older report" + (removed == 1 ? "" : "s") +
            " removed, the newest " + std::to_string(kKeptRunReports) + " are kept)";
  }
  return told;
}

std::string PortOpenMessage(uint16_t port, SerialError error, const std::string& device,
                            const std::string& reason) {
  const std::string com = "COM" + std::to_string(port);
  const std::string var = "TAVRINO_" + com;
  const char* mapped = std::getenv(var.c_str());
  const std::string dev = device.empty() ? std::string("its device") : Printable(device);
  // Port 0: the device was given by its path, no COMn stands for it.
  const std::string named =
      port == 0 ? dev : com + " (" + dev + (mapped != nullptr ? ", from " + var : "") + ")";
  switch (error) {
    case SerialError::NotFound:
      if (port == 0) {
        return named +
               " does not exist. Connect the serial adapter; 'tavrino-cli ports' lists the "
               "serial devices there are.";
      }
      return named +
             " does not exist. Connect the serial adapter, or map the port to the "
             "device it has, for example: " +
             os::MappingExample(var);
    case SerialError::NoAccess:
      return "no permission to open " + named + ". " + os::NoAccessAdvice(device);
    case SerialError::Busy:
      return named + " is in use by another program. Close that program and try again.";
    case SerialError::NotATerminal:
      if (port == 0) return named + " is not a serial port.";
      return named + " is not a serial port. Map " + com + " to a serial device with " + var + ".";
    case SerialError::LineGone:
      return named + " stopped working during the command (unplugged?)" +
             (reason.empty() ? std::string(".") : ": " + reason + ".");
    case SerialError::None:
    case SerialError::Unsupported:
    case SerialError::TimedOut:
    case SerialError::Failed:
      break;
  }
  return named + " could not be opened" + (reason.empty() ? std::string(".") : ": " + reason + ".");
}

std::string PortTrouble::Message(uint16_t port) const {
  if (kind == Kind::None) return {};
  return PortOpenMessage(port, failure.error, failure.device, failure.systemReason);
}

bool PortTrouble::StatusLine(uint16_t port, int columns, std::string& label,
                             std::string& reason) const {
  if (kind != Kind::NotOpened) return false;
  const std::string& device = failure.device;
  const std::string group =
      failure.error == SerialError::NoAccess ? ProbeSerialDevice(device).group : std::string();
  reason = UnavailableReason(failure.error, group);
  const std::string com = "COM" + std::to_string(port);
  label = "Port " + com + " (" + device + "):";
  // The reason must stay whole on the line; a long device name gives way.
  if (static_cast<int>(label.size() + reason.size()) >= columns) label = "Port " + com + ":";
  return true;
}

void CommandSession::Begin(Core& core, const char* command) {
  portDialogCancelled_ = false;
  lines_.clear();
  reporting_ = command != nullptr;
  report_ = reporting_ ? core.BeginRunReport(command, frontEnd_) : RunReport();
}

void CommandSession::Line(const std::string& line) {
  if (reporting_) lines_.push_back(Cp1250ToUtf8(line));
}

void CommandSession::InFull(const std::string& text) {
  if (reporting_) lines_.push_back(text);
}

PortTrouble CommandSession::Port(const Core& core, Outcome outcome) const {
  PortTrouble trouble;
  if (outcome != Outcome::PortNotOpened || portDialogCancelled_) return trouble;
  trouble.failure = core.LastPortFailure();
  const SerialError error = trouble.failure.error;
  trouble.kind = error == SerialError::None       ? PortTrouble::Kind::Unexplained
                 : error == SerialError::LineGone ? PortTrouble::Kind::LineGone
                                                  : PortTrouble::Kind::NotOpened;
  return trouble;
}

ReportSaved CommandSession::Save(const Core& core, Outcome outcome,
                                 const std::filesystem::path& dir, int exitStatus,
                                 const std::string& portDevice) {
  ReportSaved saved;
  if (!reporting_) return saved;
  reporting_ = false;
  if (dir.empty()) return saved;
  core.FinishRunReport(outcome, report_);
  report_.exitStatus = exitStatus;
  if (!portDevice.empty()) report_.port = portDevice;
  report_.lines = std::move(lines_);
  lines_.clear();
  saved.kept = true;
  saved.failed = SaveRunReport(dir, report_, saved.written, saved.removed);
  return saved;
}

}  // namespace tavrino
