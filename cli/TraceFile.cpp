// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/TraceFile.h"

namespace tavrino::cli {
namespace {

std::string NotATrace(const std::string& path) {
  return "the trace file " + path + " is not a regular file or a terminal";
}

}  // namespace

TraceFile::~TraceFile() {
  if (IsOpen()) out_.flush();
}

std::string TraceFile::Open(const std::string& path) {
  switch (buf_.file.Open(path)) {
    case os::OutputFile::OpenResult::Open:
      return {};
    case os::OutputFile::OpenResult::WrongKind:
      return NotATrace(path);
    case os::OutputFile::OpenResult::Failed:
      break;
  }
  return "cannot write the trace file " + path + ": " + buf_.file.Reason();
}

std::string TraceFile::WriteError() const {
  return IsOpen() ? buf_.file.Reason() : std::string();
}

bool TraceFile::FdBuf::Drain() {
  const bool written = file.Write(pbase(), static_cast<size_t>(pptr() - pbase()));
  setp(buffer, buffer + sizeof buffer);
  return written;
}

TraceFile::FdBuf::int_type TraceFile::FdBuf::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int TraceFile::FdBuf::sync() {
  return Drain() ? 0 : -1;
}

}  // namespace tavrino::cli
