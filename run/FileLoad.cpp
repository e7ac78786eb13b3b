// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/FileLoad.h"

#include <filesystem>

#include "frontend/Texts.h"

namespace tavrino {
namespace {

const std::string kFileChecking = "File checking:";
const std::string kNoSuchFile = "Selected file does not exist.";
const std::string kCannotOpen = "Cannot open the file: ";
const std::string kNotAProgramFile1 = "ATTENTION: selected file is not";
const std::string kNotAProgramFile2 = "           a QZ-17 program file !!!";

// The system's reason as a status line can show it: the system's texts are plain ASCII
// in the C locale; anything else would be read as Windows-1250 and come out garbled.
std::string ReasonText(const std::error_code& why) {
  std::string text = why.message();
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  return text;
}

// The check's line: opened, its bar block by block (the window kept responsive and Stop
// served between blocks).
class CheckingLine : public ReadWatcher {
 public:
  explicit CheckingLine(Host& host) : host_(host) {}
  void Opened() override { host_.log.AddLine(kFileChecking); }
  void BeforeBlock(int32_t done, int32_t total) override {
    host_.log.ShowProgress(done, total, texts::kProgressStep);
    host_.ui.ProcessMessages();
  }
  bool StopRead() override { return host_.Stopped(); }

 private:
  Host& host_;
};

// After a failed load of failedPath: one status line naming the file that stays loaded;
// or, when the loaded file itself failed (it went bad on disk since it was opened: every
// command reads it again), nothing good is loaded any more, and the window must not go on
// showing the version it had.
void SayStillLoaded(Host& host, FirmwareFile& file, const std::string& failedPath) {
  const std::string& loaded = file.FirmwareFileName;
  if (file.FileVersionText.empty() || loaded.empty()) return;
  if (failedPath == loaded) {
    file.FileVersionText.clear();
    host.ui.ShowFile("");
    host.ui.ShowFileVersion("");
    return;
  }
  // Another file was asked for while a good one is loaded: Program then uses the good one,
  // and the window must say which.
  // The file's own name, whichever separator its path uses (Windows takes both).
  const std::string name = std::filesystem::path(loaded).filename().string();
  host.log.AddLine("Still loaded: " + name);
  host.ui.ShowFile(loaded);
  host.ui.ShowFileVersion(file.FileVersionText);
}

}  // namespace

FileLoad OpenFirmwareFile(Host& host, FirmwareFile& file, bool ask, ProgramHalf half) {
  std::string path = file.FirmwareFileName;
  if ((ask || path.empty()) && !host.ui.ChooseFirmwareFile(path)) return FileLoad::Cancelled;
  StatusLog& log = host.log;
  log.Clear();
  CheckingLine line(host);
  switch (file.Load(path, half, line)) {
    case FirmwareFile::Result::Loaded:
      log.SetStatus(texts::kOk, texts::kStatusWidth);
      host.ui.ShowFile(path);
      host.ui.ShowFileVersion(file.FileVersionText);
      return FileLoad::Loaded;
    case FirmwareFile::Result::CannotOpen:
      // The box says what the system always said; the line says why, which may well be
      // something else: no read rights, a folder, a name too long.
      log.AddLine(kCannotOpen + ReasonText(file.OpenFailure()));
      host.ui.AskUser(kNoSuchFile, true);
      SayStillLoaded(host, file, path);
      return FileLoad::CannotOpen;
    case FirmwareFile::Result::Rejected:
      break;
  }
  log.SetStatus(texts::kBlad, texts::kStatusWidth);
  log.AddLine("");
  log.AddLine(kNotAProgramFile1);
  log.AddLine(kNotAProgramFile2);
  SayStillLoaded(host, file, path);
  return FileLoad::Rejected;
}

}  // namespace tavrino
