// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "firmware/FirmwareImage.h"

namespace tavrino {

// What a load tells its caller as it goes, and asks of it: a .17 file is read and checked
// 512 bytes at a time, and the caller may stop it between two blocks. Does nothing by
// default, for a caller with nothing to show.
class ReadWatcher {
 public:
  virtual ~ReadWatcher() = default;
  // The file has opened and its reading begins.
  virtual void Opened() {}
  // Before each block: done of total bytes, where total counts every half of the file.
  virtual void BeforeBlock(int32_t /*done*/, int32_t /*total*/) {}
  // Asked before each block and once a half's blocks are read: true stops the read, and
  // the file is rejected.
  virtual bool StopRead() { return false; }
};

// Loading and checking a .17 file into the FirmwareImage, and the file's version. Bytes in,
// a result out: what the person is told, and the dialog that names the file, are the
// caller's.
class FirmwareFile {
 public:
  enum class Result { Loaded, CannotOpen, Rejected };

  explicit FirmwareFile(FirmwareImage& image) : image_(image) {}

  // Reads and checks the file at path; the file's version is read from `half`: the half of
  // the panel last connected, if any. The image and the state below change only when the
  // whole file has checked good: after a failed load they still describe the last good
  // file, all of them alike. CannotOpen: OpenFailure() holds the system's reason.
  Result Load(const std::string& path, ProgramHalf half, ReadWatcher& watcher);
  // The same for a file's bytes in memory; a good load goes by the name given.
  Result LoadBytes(const uint8_t* bytes, size_t size, const std::string& name, ProgramHalf half,
                   ReadWatcher& watcher);
  // Why the last Load could not open its file; empty after any other result.
  const std::error_code& OpenFailure() const { return openFailure_; }

  // The 6-byte version record of the half a panel of that board gets (behind the "QZ17"
  // signature if any).
  std::string ReadFileVersionRecord(ProgramHalf half) const;

  // Path of the last good load (or the command-line argument). Never cut short.
  std::string FirmwareFileName;
  std::string FileVersion;      // "103"
  std::string FileVersionText;  // "1.03.05 pol"
  uint8_t FileLanguage = 0;

 private:
  // The staging copy, checked good, becomes the loaded file.
  Result Adopt(const std::string& path, bool twoHalves, ProgramHalf half);

  FirmwareImage& image_;
  std::error_code openFailure_;
  // The file as read so far; copied into the image only once it has checked good.
  std::vector<uint8_t> staging_;
};

}  // namespace tavrino
