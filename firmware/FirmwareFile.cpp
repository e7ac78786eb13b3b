// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware/FirmwareFile.h"

#include <algorithm>

#include "firmware/Checksum.h"
#include "firmware/Descramble.h"
#include "firmware/QVFileStream.h"
#include "firmware/Version.h"

namespace tavrino {
namespace {

constexpr uint32_t kBlockSize = 512;
constexpr uint32_t kTwoHalvesSize = 2 * kHalfSize;
constexpr uint32_t kTrailerSize = kHalfSize - kProgramBytes;
const std::string kRecordSignature(kVersionRecordSignature, sizeof kVersionRecordSignature);

// A file's bytes in memory, read through the descrambler like a TQVFileStream.
class ScrambledBytes {
 public:
  ScrambledBytes(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  int32_t Read(uint8_t* buffer, int32_t count) {
    if (count <= 0) return 0;
    const size_t n = std::min(static_cast<size_t>(count), size_ - at_);
    if (n != 0) std::copy_n(bytes_ + at_, n, buffer);
    at_ += n;
    DescrambleBytes(buffer, n, phase_);
    return static_cast<int32_t>(n);
  }
  int32_t SeekSection(int32_t offset) {
    phase_ = KeyPhase::At(static_cast<int64_t>(offset) - SectionBase);
    if (offset < 0 || static_cast<size_t>(offset) > size_) return -1;
    at_ = static_cast<size_t>(offset);
    return offset;
  }

  int32_t SectionBase = 0;

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t at_ = 0;
  KeyPhase phase_;
};

// Reads, descrambles and checks half 0 or 1 into bytes; false when it is bad, cannot be
// read whole, or the watcher stopped the read.
template <typename Stream>
bool ReadHalf(Stream& stream, uint8_t* bytes, uint32_t half, int32_t progressTotal,
              ReadWatcher& watcher) {
  // Half 2 continues the progress of half 1 up to the whole file's size.
  const uint32_t progressEnd = half == 0 ? kProgramBytes : kTwoHalvesSize;
  HalfChecksum sums;
  uint32_t remaining = kProgramBytes;
  while (remaining > 0) {
    if (watcher.StopRead()) return false;
    watcher.BeforeBlock(static_cast<int32_t>(progressEnd - remaining), progressTotal);
    const uint32_t n = std::min(remaining, kBlockSize);
    uint8_t* block = bytes + (kProgramBytes - remaining);
    // A read error, or a file cut short while it is read: no point reading on.
    if (stream.Read(block, static_cast<int32_t>(n)) != static_cast<int32_t>(n)) return false;
    sums.Add(block, n);
    remaining -= n;
  }
  if (watcher.StopRead()) return false;

  uint8_t* trailer = bytes + kProgramBytes;
  if (stream.Read(trailer, kTrailerSize) != static_cast<int32_t>(kTrailerSize)) return false;
  HalfChecksum stored;
  stored.sum = static_cast<uint16_t>(trailer[0] | (trailer[1] << 8));
  stored.xorValue = trailer[2];
  stored.rot = trailer[3];
  return stored == sums;
}

// Whether a file of size bytes (-1: not a plain file) is a good program file of one or two
// halves, read into staging.
template <typename Stream>
bool CheckHalves(Stream& stream, int64_t size, std::vector<uint8_t>& staging,
                 ReadWatcher& watcher) {
  const bool twoHalves = size == kTwoHalvesSize;
  if (size != kHalfSize && !twoHalves) return false;
  const int32_t progressTotal = static_cast<int32_t>(twoHalves ? kTwoHalvesSize : kProgramBytes);
  staging.resize(kTwoHalvesSize);
  if (!ReadHalf(stream, staging.data(), 0, progressTotal, watcher)) return false;
  if (!twoHalves) return true;
  // Half 2 is scrambled as a section of its own: its key phase starts again at zero.
  stream.SectionBase = static_cast<int32_t>(kHalfSize);
  return stream.SeekSection(stream.SectionBase) == stream.SectionBase &&
         ReadHalf(stream, staging.data() + kHalfSize, 1, progressTotal, watcher);
}

}  // namespace

FirmwareFile::Result FirmwareFile::Load(const std::string& path, ProgramHalf half,
                                        ReadWatcher& watcher) {
  openFailure_.clear();
  TQVFileStream stream;
  if (!stream.Open(path)) {
    openFailure_ = stream.why();
    return Result::CannotOpen;
  }
  watcher.Opened();
  const int64_t size = stream.IsRegularFile() ? stream.Size() : -1;
  const bool good = CheckHalves(stream, size, staging_, watcher);
  stream.Close();
  return good ? Adopt(path, size == kTwoHalvesSize, half) : Result::Rejected;
}

FirmwareFile::Result FirmwareFile::LoadBytes(const uint8_t* bytes, size_t size,
                                             const std::string& name, ProgramHalf half,
                                             ReadWatcher& watcher) {
  openFailure_.clear();
  ScrambledBytes stream(bytes, size);
  watcher.Opened();
  const auto fileSize = static_cast<int64_t>(size);
  if (!CheckHalves(stream, fileSize, staging_, watcher)) return Result::Rejected;
  return Adopt(name, fileSize == kTwoHalvesSize, half);
}

FirmwareFile::Result FirmwareFile::Adopt(const std::string& path, bool twoHalves,
                                         ProgramHalf half) {
  image_.ImageStore(0, staging_.data(), twoHalves ? kTwoHalvesSize : kHalfSize);
  image_.FileHasTwoHalves = twoHalves;
  const std::string record = ReadFileVersionRecord(half);
  FileVersion = record.substr(0, 3);
  FileLanguage = static_cast<uint8_t>(record[5]);
  FileVersionText = VersionText(record.substr(0, 5), FileLanguage);
  FirmwareFileName = path;
  return Result::Loaded;
}

std::string FirmwareFile::ReadFileVersionRecord(ProgramHalf half) const {
  auto recordAt = [this, half](uint32_t offset) {
    std::string record(kVersionRecordSize, '\0');
    for (uint32_t i = 0; i < kVersionRecordSize; ++i) {
      record[i] = static_cast<char>(image_.ProgramByte(half, static_cast<int32_t>(offset + i)));
    }
    return record;
  };
  std::string record = recordAt(kVersionRecordOffset);
  if (record == kRecordSignature) record = recordAt(kVersionRecordOffset + kVersionRecordSize);
  return record;
}

}  // namespace tavrino
