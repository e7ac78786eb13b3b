// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <fstream>
#include <string>
#include <system_error>

#include "firmware/Descramble.h"

namespace tavrino {

// A file read through the descrambler: every byte read is descrambled with the key phase
// of its distance from SectionBase.
class TQVFileStream {
 public:
  // Opens for reading only. False when the path names nothing that can be read, or a
  // directory; why() then holds the system's reason. Never blocks: anything that is not
  // a plain file (FIFO, device, socket) is looked at but not opened, and reads nothing.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return open_; }
  const std::error_code& why() const { return why_; }

  // False for anything that is not a plain file (FIFO, device, socket).
  bool IsRegularFile() const { return open_ && file_.is_open(); }
  int64_t Size() const { return size_; }  // -1 when unknown

  // Reads up to count bytes and descrambles the ones read. Returns the number read,
  // short only at the end of the file, or -1 on a read error (nothing is descrambled).
  // A count of 0 or less returns 0 and changes nothing.
  int32_t Read(uint8_t* buffer, int32_t count);
  // Moves to offset from the start of the file and sets the key phase for that offset
  // in the section at SectionBase. Returns the new position, or -1 when it cannot move.
  int32_t SeekSection(int32_t offset);

  int32_t SectionBase = 0;
  uint16_t ShortKeyIndex() const { return phase_.ShortKeyIndex(); }
  uint16_t LongKeyIndex() const { return phase_.LongKeyIndex(); }

 private:
  std::ifstream file_;
  bool open_ = false;
  int64_t size_ = -1;
  std::error_code why_;
  KeyPhase phase_;
};

}  // namespace tavrino
