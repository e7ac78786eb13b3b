// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Serves a SimulatedPanel on a pseudo-terminal, so that the real tool with its real serial
// driver can talk to it. POSIX only.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/SimulatedPanel.h"

namespace tavrino::sim {

class PtyPanel {
 public:
  explicit PtyPanel(SimulatedPanel& panel) : panel_(panel) {}
  ~PtyPanel();
  PtyPanel(const PtyPanel&) = delete;
  PtyPanel& operator=(const PtyPanel&) = delete;

  // Creates the pseudo-terminal (raw, 9600 bit/s) and links its slave at linkPath,
  // replacing a stale link but never a file that is not a link. False with a message.
  bool Open(const std::string& linkPath, std::string& error);
  // Serves until stop becomes nonzero. Blocked signals in waitMask's complement wake the
  // wait at once (the caller blocks SIGINT/SIGTERM and passes the mask to wait with).
  // Transcript lines go to transcript when it is not null.
  void Serve(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask,
             std::FILE* transcript);
  // Closes the terminal and removes the link.
  void Close();

  const std::string& SlavePath() const { return slavePath_; }

 private:
  uint64_t NowUs() const;
  uint32_t ToolSpeed() const;
  size_t Receive(uint64_t nowUs);  // how many bytes came
  void Send(uint64_t nowUs);
  void CloseTerminal();
  int WaitMs(uint64_t nowUs) const;

  SimulatedPanel& panel_;
  int master_ = -1;
  int slave_ = -1;  // held open so the master never sees the tool's hang-up
  std::string slavePath_;
  std::string linkPath_;
  uint64_t startNs_ = 0;
  std::vector<uint8_t> unsent_;  // answer bytes the terminal did not take yet
  size_t transcriptWritten_ = 0;
};

}  // namespace tavrino::sim
