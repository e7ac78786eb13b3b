// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware/QVFileStream.h"

#include <cerrno>
#include <filesystem>

namespace tavrino {

namespace fs = std::filesystem;

bool TQVFileStream::Open(const std::string& path) {
  Close();
  SectionBase = 0;
  phase_ = {};
  // The system would stop at an embedded NUL and open a different, shorter path.
  if (path.empty() || path.find('\0') != std::string::npos) {
    why_ = std::make_error_code(std::errc::no_such_file_or_directory);
    return false;
  }
  // The type first: opening a FIFO for reading would wait for a writer.
  const fs::file_status status = fs::status(path, why_);
  if (why_) return false;
  if (fs::is_directory(status)) {
    why_ = std::make_error_code(std::errc::is_a_directory);
    return false;
  }
  open_ = true;
  if (!fs::is_regular_file(status)) return true;  // read as a file that is not one

  // Unbuffered: each block comes from the file when it is asked for, so a file that
  // changes under the reader is noticed at the block it changes in.
  file_.rdbuf()->pubsetbuf(nullptr, 0);
  errno = 0;
  file_.open(path, std::ios::in | std::ios::binary);
  if (!file_.is_open()) {
    // The stream keeps no reason of its own; the C library behind it leaves one in errno.
    why_ = std::error_code(errno != 0 ? errno : static_cast<int>(std::errc::permission_denied),
                           std::generic_category());
    open_ = false;
    return false;
  }
  const auto size = fs::file_size(path, why_);
  size_ = why_ ? -1 : static_cast<int64_t>(size);
  why_.clear();
  return true;
}

void TQVFileStream::Close() {
  if (file_.is_open()) file_.close();
  file_.clear();
  open_ = false;
  size_ = -1;
}

int32_t TQVFileStream::Read(uint8_t* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (!file_.is_open() || file_.bad()) return -1;
  file_.read(reinterpret_cast<char*>(buffer), count);
  if (file_.bad()) return -1;
  const auto done = static_cast<int32_t>(file_.gcount());
  // The end of the file is a short read, not an error; later reads find it again.
  if (file_.eof()) file_.clear(file_.rdstate() & ~(std::ios::eofbit | std::ios::failbit));
  DescrambleBytes(buffer, static_cast<size_t>(done), phase_);
  return done;
}

int32_t TQVFileStream::SeekSection(int32_t offset) {
  phase_ = KeyPhase::At(static_cast<int64_t>(offset) - SectionBase);
  if (!file_.is_open() || offset < 0) return -1;
  file_.clear();
  file_.seekg(offset, std::ios::beg);
  if (!file_) return -1;
  return static_cast<int32_t>(static_cast<std::streamoff>(file_.tellg()));
}

}  // namespace tavrino
