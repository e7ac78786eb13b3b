// SPDX-License-Identifier: GPL-2.0-or-later
#include "firmware/FirmwareFile.h"

#include <algorithm>

#include "firmware/Checksum.h"
#include "firmware/Version.h"
#include "frontend/Texts.h"

namespace tavrino {
namespace {

constexpr uint32_t kBlockSize = 512;
constexpr uint32_t kTwoHalvesSize = 2 * kHalfSize;
constexpr uint32_t kTrailerSize = kHalfSize - kProgramBytes;
const std::string kRecordSignature(kVersionRecordSignature, sizeof kVersionRecordSignature);

const std::string kFileChecking = "File checking:";
const std::string kNoSuchFile = "Selected file does not exist.";
const std::string kCannotOpen = "Cannot open the file: ";

// The system's reason as a status line can show it: the system's texts are plain ASCII
// in the C locale; anything else would be read as Windows-1250 and come out garbled.
std::string ReasonText(const std::error_code& why) {
  std::string text = why.message();
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  return text;
}
const std::string kNotAProgramFile1 = "ATTENTION: selected file is not";
const std::string kNotAProgramFile2 = "           a QZ-17 program file !!!";

}  // namespace

bool FirmwareFile::OpenFile(bool ask, ProgramHalf half) {
  std::string path = FirmwareFileName;
  if ((ask || path.empty()) && !host_.ui.ChooseFirmwareFile(path)) {
    return Finish(Result::Cancelled);
  }
  StatusLog& log = host_.log;
  log.Clear();
  TQVFileStream stream;
  if (!stream.Open(path)) {
    // The box says what the system always said; the line says why, which may well be
    // something else: no read rights, a folder, a name too long.
    log.AddLine(kCannotOpen + ReasonText(stream.why()));
    host_.ui.AskUser(kNoSuchFile, true);
    SayStillLoaded(path);
    return Finish(Result::CannotOpen);
  }
  log.AddLine(kFileChecking);

  const int64_t size = stream.IsRegularFile() ? stream.Size() : -1;
  const bool twoHalves = size == kTwoHalvesSize;
  const int32_t progressTotal = static_cast<int32_t>(twoHalves ? kTwoHalvesSize : kProgramBytes);
  staging_.resize(kTwoHalvesSize);
  bool good = (size == kHalfSize || twoHalves) && ReadHalf(stream, 0, progressTotal);
  if (good && twoHalves) {
    // Half 2 is scrambled as a section of its own: its key phase starts again at zero.
    stream.SectionBase = static_cast<int32_t>(kHalfSize);
    good = stream.SeekSection(stream.SectionBase) == stream.SectionBase &&
           ReadHalf(stream, 1, progressTotal);
  }
  stream.Close();

  if (!good) {
    log.SetStatus(texts::kBlad, texts::kStatusWidth);
    log.AddLine("");
    log.AddLine(kNotAProgramFile1);
    log.AddLine(kNotAProgramFile2);
    SayStillLoaded(path);
    return Finish(Result::Rejected);
  }

  image_.ImageStore(0, staging_.data(), twoHalves ? kTwoHalvesSize : kHalfSize);
  image_.FileHasTwoHalves = twoHalves;
  const std::string record = ReadFileVersionRecord(half);
  FileVersion = record.substr(0, 3);
  FileLanguage = static_cast<uint8_t>(record[5]);
  FileVersionText = VersionText(record.substr(0, 5), FileLanguage);
  log.SetStatus(texts::kOk, texts::kStatusWidth);
  host_.ui.SetStatusPanel(0, " " + path);
  host_.ui.SetVersionLabel(FileVersionText);
  FirmwareFileName = path;
  return Finish(Result::Loaded);
}

void FirmwareFile::SayStillLoaded(const std::string& failedPath) {
  // Only when another file was asked for while a good one is loaded: Program then uses the
  // good one, and the window must say which.
  if (FileVersionText.empty() || FirmwareFileName.empty() || failedPath == FirmwareFileName) return;
  const auto slash = FirmwareFileName.find_last_of('/');
  const std::string name =
      slash == std::string::npos ? FirmwareFileName : FirmwareFileName.substr(slash + 1);
  host_.log.AddLine("Still loaded: " + name);
  host_.ui.SetStatusPanel(0, " " + FirmwareFileName);
  host_.ui.SetVersionLabel(FileVersionText);
}

bool FirmwareFile::ReadHalf(TQVFileStream& stream, uint32_t half, int32_t progressTotal) {
  uint8_t* bytes = staging_.data() + half * kHalfSize;
  // Half 2 continues the progress of half 1 up to the whole file's size.
  const uint32_t progressEnd = half == 0 ? kProgramBytes : kTwoHalvesSize;
  HalfChecksum sums;
  uint32_t remaining = kProgramBytes;
  while (remaining > 0 && !host_.Stopped()) {
    host_.log.ShowProgress(static_cast<int32_t>(progressEnd - remaining), progressTotal,
                           texts::kProgressStep);
    const uint32_t n = std::min(remaining, kBlockSize);
    host_.ui.ProcessMessages();
    uint8_t* block = bytes + (kProgramBytes - remaining);
    // A read error, or a file cut short while it is read: no point reading on.
    if (stream.Read(block, static_cast<int32_t>(n)) != static_cast<int32_t>(n)) return false;
    sums.Add(block, n);
    remaining -= n;
  }
  if (host_.Stopped()) return false;

  uint8_t* trailer = bytes + kProgramBytes;
  if (stream.Read(trailer, kTrailerSize) != static_cast<int32_t>(kTrailerSize)) return false;
  HalfChecksum stored;
  stored.sum = static_cast<uint16_t>(trailer[0] | (trailer[1] << 8));
  stored.xorValue = trailer[2];
  stored.rot = trailer[3];
  return stored == sums;
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

bool FirmwareFile::Finish(Result result) {
  lastResult_ = result;
  return result == Result::Loaded;
}

}  // namespace tavrino
