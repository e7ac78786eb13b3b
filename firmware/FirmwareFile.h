#pragma once
#include <cstdint>
#include <string>

#include "firmware/FirmwareImage.h"
#include "frontend/Host.h"

namespace tavrino {

// Loading and checking a .17 file into the FirmwareImage, and the file's version.
class FirmwareFile {
 public:
  enum class Result { Loaded, Cancelled, CannotOpen, Rejected };

  FirmwareFile(FirmwareImage& image, Host& host) : image_(image), host_(host) {}

  // ask: always show the open dialog; otherwise only when FirmwareFileName is empty.
  // Writes "File checking:" and its result to the status log.
  bool OpenFile(bool ask);
  Result LastResult() const { return lastResult_; }

  // The 6-byte version record of the selected half (behind the "QZ17" signature if any).
  std::string ReadFileVersionRecord() const;

  // Path of the last good load (or the command-line argument). Never cut short.
  std::string FirmwareFileName;
  std::string FileVersion;      // "103"
  std::string FileVersionText;  // "1.03.05 pol"
  uint8_t FileLanguage = 0;

  FirmwareImage& image() { return image_; }

 private:
  FirmwareImage& image_;
  Host& host_;
  Result lastResult_ = Result::Cancelled;
};

}  // namespace tavrino
