#pragma once
#include <cstdint>
#include <string>

#include "firmware/Descramble.h"

namespace tavrino {

// A file read through the descrambler: every byte read is descrambled with the key phase
// of its distance from SectionBase. Bytes written go out unchanged.
class TQVFileStream {
 public:
  TQVFileStream() = default;
  ~TQVFileStream();
  TQVFileStream(const TQVFileStream&) = delete;
  TQVFileStream& operator=(const TQVFileStream&) = delete;

  // Opens for reading only. False when the path cannot be opened or names a directory.
  // Never blocks, not even on a FIFO.
  bool Open(const std::string& path);
  // Takes over a descriptor opened for writing (the stream closes it).
  void Attach(int fd);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // False for anything that is not a plain file (FIFO, device, socket).
  bool IsRegularFile() const;
  int64_t Size() const;  // -1 when unknown

  // Reads up to count bytes and descrambles the ones read. Returns the number read,
  // short only at the end of the file, or -1 on a read error (nothing is descrambled).
  // A count of 0 or less returns 0 and changes nothing.
  int32_t Read(uint8_t* buffer, int32_t count);
  // Writes the bytes unchanged; returns the number written, or -1 on an error.
  int32_t Write(const uint8_t* buffer, int32_t count);
  // Moves to offset from the start of the file and sets the key phase for that offset
  // in the section at SectionBase. Returns the new position, or -1 when it cannot move.
  int32_t SeekSection(int32_t offset);

  int32_t SectionBase = 0;
  uint16_t ShortKeyIndex() const { return phase_.ShortKeyIndex(); }
  uint16_t LongKeyIndex() const { return phase_.LongKeyIndex(); }

 private:
  int fd_ = -1;
  KeyPhase phase_;
};

}  // namespace tavrino
