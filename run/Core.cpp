// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/Core.h"

#include "run/FileLoad.h"
#include "run/Subsystems.h"

namespace tavrino {

Core::Core(SerialBackend& backend, Clock& clock, FrontEnd& ui, StatusLog& log)
    : parts_(std::make_unique<Subsystems>(backend, clock, ui, log)) {}

Core::~Core() = default;

void Core::Use(const RunRequest& request) {
  parts_->Use(request);
  unattended_ = request.unattended;
}

Outcome Core::LoadFile() {
  const bool loaded =
      OpenFirmwareFile(parts_->host, parts_->file, false, ProgramHalf::First) == FileLoad::Loaded;
  if (parts_->host.Stopped()) return Outcome::Stopped;
  return loaded ? Outcome::FileLoaded : Outcome::FileRejected;
}

Outcome Core::ChooseFile() {
  return OpenFirmwareFile(parts_->host, parts_->file, true, parts_->starter.PanelHalf) ==
                 FileLoad::Loaded
             ? Outcome::FileLoaded
             : Outcome::FileRejected;
}

Outcome Core::Program() {
  return parts_->Program(unattended_);
}

Outcome Core::Test() {
  return parts_->Test();
}

Outcome Core::Restart() {
  return parts_->Restart();
}

Outcome Core::Backup(const std::string& file, bool replace) {
  return parts_->Backup(file, replace);
}

Outcome Core::Restore(const std::string& file) {
  return parts_->Restore(file, unattended_);
}

void Core::SetCheckSettings(bool on) {
  parts_->checkSettings = on;
}

bool Core::CheckSettings() const {
  return parts_->checkSettings;
}

const std::string& Core::BackupWritten() const {
  return parts_->run.BackupWritten();
}

std::atomic<bool>& Core::StopFlag() {
  return parts_->host.StopRequested;
}

void Core::RequestStop() {
  parts_->host.RequestStop();
}

void Core::ClearStop() {
  parts_->host.ClearStop();
}

bool Core::Stopped() const {
  return parts_->host.Stopped();
}

void Core::SetTrace(FrameTrace* trace) {
  parts_->link.SetTrace(trace);
}

uint16_t Core::PortNumber() const {
  return parts_->ports.PortNumber;
}

void Core::ForgetPort() {
  parts_->ports.PortNumber = 0;
}

PortFailure Core::LastPortFailure() const {
  const SerialPort& port = parts_->port;
  const SerialError error =
      port.LastOpenError() != SerialError::None ? port.LastOpenError() : parts_->lineAtEnd;
  return {port.LastDevice(), error, port.SystemReason()};
}

std::string Core::DeviceOf(uint16_t n) const {
  return parts_->port.DeviceOf(n);
}

SerialError Core::LastProbe(uint16_t n) const {
  return parts_->ports.LastProbe[n - 1];
}

SerialError Core::TryDevice(uint16_t n, const std::string& device) {
  SerialPort& port = parts_->port;
  port.MapPort(n, device);
  const bool opens = port.PortAvailable(n);
  parts_->ports.LastProbe[n - 1] = port.LastOpenError();
  return opens ? SerialError::None : port.LastOpenError();
}

const SerialPort& Core::Port() const {
  return parts_->port;
}

}  // namespace tavrino
