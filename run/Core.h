// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What the front ends may ask of the core: set up a command, run it, stop it, and learn how
// it ended. The subsystems behind it stay inside run/.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "frontend/Outcome.h"
#include "run/RunRequest.h"
#include "serial/SerialBackend.h"
#include "state/RunReport.h"

namespace tavrino {

class Clock;
class FrameTrace;
class FrontEnd;
class SerialPort;
class StatusLog;
struct Subsystems;
namespace test {
struct CoreSeam;
}

// Why the port of the last command did not open, or that its line went away under the
// command (LineGone), as the serial layer said it.
struct PortFailure {
  std::string device;
  SerialError error = SerialError::None;
  std::string systemReason;
};

class Core {
 public:
  Core(SerialBackend& backend, Clock& clock, FrontEnd& ui, StatusLog& log);
  ~Core();
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  void Use(const RunRequest& request);

  // The commands. Each closes the port when it ends.
  Outcome LoadFile();    // the file named in the request, without a dialog
  Outcome ChooseFile();  // the front end's file dialog, then that file
  Outcome Program();     // unattended or not, as the request says
  Outcome Test();
  Outcome Restart();
  // The panel's settings kept on the host (file, or a new file of backups/ when empty);
  // an existing file is replaced only when replace is set.
  Outcome Backup(const std::string& file, bool replace = false);
  // Where the last Backup kept the settings.
  const std::string& BackupWritten() const;
  // The settings of a backup file written back into the panel (unattended or not, as the
  // request says), read back, and the panel restarted.
  Outcome Restore(const std::string& file);
  // Program reads the settings back after writing them; the request sets it too.
  void SetCheckSettings(bool on);
  bool CheckSettings() const;

  // Stop: asked from a button, a key or a signal, looked at between exchanges.
  std::atomic<bool>& StopFlag();
  void RequestStop();
  void ClearStop();
  bool Stopped() const;

  // Every frame sent and received goes to trace as well (nullptr: none).
  void SetTrace(FrameTrace* trace);

  // The port chosen for the next command (1 to 4, 0 = none); forgetting it makes the next
  // command ask again.
  uint16_t PortNumber() const;
  void ForgetPort();
  PortFailure LastPortFailure() const;

  // What the port dialog shows beside each COM port, and a device tried in its place
  // (None when it opens).
  std::string DeviceOf(uint16_t n) const;
  SerialError LastProbe(uint16_t n) const;
  SerialError TryDevice(uint16_t n, const std::string& device);
  const SerialPort& Port() const;

  // The run report's facts that the core holds: the file, both versions, the port and the
  // speed, and how the command ended. CommandSession adds the status lines and saves it.
  // Begin forgets the panel version of an earlier command, so that a report names only
  // what this one read; Finish fills in the rest once the command has ended.
  RunReport BeginRunReport(const std::string& command, const std::string& frontEnd);
  void FinishRunReport(Outcome outcome, RunReport& report) const;

 private:
  friend struct test::CoreSeam;
  std::unique_ptr<Subsystems> parts_;
  bool unattended_ = false;
};

}  // namespace tavrino
