// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "firmware/QVFileStream.h"
#include "frontend/Host.h"

namespace tavrino {

// Loading and checking a .17 file into the FirmwareImage, and the file's version.
class FirmwareFile {
 public:
  enum class Result { Loaded, Cancelled, CannotOpen, Rejected };

  FirmwareFile(FirmwareImage& image, Host& host) : image_(image), host_(host) {}

  // ask: always show the open dialog; otherwise only when FirmwareFileName is empty.
  // Writes "File checking:" and its result to the status log. The image and the state
  // below change only when the whole file has checked good: after a failed load they
  // still describe the last good file, all of them alike.
  // The file's version is read from `half`: the half of the panel last connected, if any.
  bool OpenFile(bool ask, ProgramHalf half = ProgramHalf::First);
  Result LastResult() const { return lastResult_; }

  // The 6-byte version record of the half a panel of that board gets (behind the "QZ17"
  // signature if any).
  std::string ReadFileVersionRecord(ProgramHalf half) const;

  // Path of the last good load (or the command-line argument). Never cut short.
  std::string FirmwareFileName;
  std::string FileVersion;      // "103"
  std::string FileVersionText;  // "1.03.05 pol"
  uint8_t FileLanguage = 0;

 private:
  bool Finish(Result result);
  // After a failed load of failedPath: one status line naming the file that stays loaded;
  // or, when the loaded file itself failed (it changed on disk), nothing is loaded any more
  // and the version label and the status bar say so.
  void SayStillLoaded(const std::string& failedPath);
  // Reads, descrambles and checks half 0 or 1 into the staging copy; false when it is bad,
  // cannot be read whole, or Stop was pressed.
  bool ReadHalf(TQVFileStream& stream, uint32_t half, int32_t progressTotal);

  FirmwareImage& image_;
  Host& host_;
  Result lastResult_ = Result::Cancelled;
  // The file as read so far; copied into the image only once it has checked good.
  std::vector<uint8_t> staging_;
};

}  // namespace tavrino
