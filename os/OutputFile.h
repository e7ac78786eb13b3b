// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// A file the tool writes as it goes (the frame trace). It may hold a panel's settings, its
// users' codes among them, so a new file is private to the user. Only a regular file
// (emptied once it is known to be one) or a terminal is taken: a FIFO nobody reads would
// hang the command before any work, and a device such as /dev/full would swallow the
// writes in silence. Opening never blocks.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrino::os {

class OutputFile {
 public:
  enum class OpenResult { Open, WrongKind, Failed };

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Close(); }

  // Failed leaves the system's reason in Reason().
  OpenResult Open(const std::string& path);
  bool IsOpen() const { return handle_ != kClosed; }
  // Writes all n bytes; on the first failure keeps the system's reason and returns false
  // (and every later write fails at once).
  bool Write(const char* bytes, size_t n);
  void Close();
  // The system's words for the failure of Open or of the first failed Write.
  const std::string& Reason() const { return reason_; }

 private:
  static constexpr intptr_t kClosed = -1;
  intptr_t handle_ = kClosed;
  bool failed_ = false;
  std::string reason_;
};

}  // namespace tavrino::os
