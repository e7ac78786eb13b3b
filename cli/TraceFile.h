// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <ostream>
#include <streambuf>
#include <string>

#include "os/OutputFile.h"

namespace tavrino::cli {

// The --trace file. It holds the panel's settings, its users' codes among them, so a new
// file is made private to the user (0600). Only a regular file or a terminal is taken:
// a FIFO nobody reads would hang the command before any work, and a device such as
// /dev/full would swallow the trace in silence. Opening never blocks.
class TraceFile {
 public:
  TraceFile() : out_(&buf_) {}
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;
  ~TraceFile();

  // Empty when the file is open for writing (a regular file emptied first); otherwise
  // the reason it was refused, as one line for the person.
  std::string Open(const std::string& path);
  bool IsOpen() const { return buf_.file.IsOpen(); }
  std::ostream& stream() { return out_; }
  // The system's reason for the first write that failed; empty while all went well.
  std::string WriteError() const;

 private:
  // Writes through to the file; a failed write fails the stream, and the file keeps why.
  struct FdBuf : std::streambuf {
    os::OutputFile file;
    char buffer[4096];
    FdBuf() { setp(buffer, buffer + sizeof buffer); }
    int_type overflow(int_type c) override;
    int sync() override;
    bool Drain();
  };
  FdBuf buf_;
  std::ostream out_;
};

}  // namespace tavrino::cli
