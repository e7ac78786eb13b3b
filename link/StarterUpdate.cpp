// SPDX-License-Identifier: GPL-2.0-or-later
#include "link/StarterUpdate.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "frontend/StatusLines.h"
#include "frontend/Texts.h"
#include "link/FlashChip.h"
#include "link/UpdaterImages.h"

namespace tavrino {

namespace {

constexpr const char* kAskVersion = "Update starter to version  3.1 eng  ?";
constexpr const char* kAskSupply =
    "Update starter ?\n\nIf you want to press 'Yes', make sure that there will be\n"
    "no interrupt in AC and DC panel supply.";
constexpr const char* kAskOutputs =
    "For the updating time\nOUT1..OUT8, +KPD, +EX1 and +EX2 outputs will be switched off.\n\n"
    "Continue ?";
constexpr const char* kLoadingLabel = "Starter updater loading:";
// What became of the Starter, on the "Starter checking:" line.
constexpr const char* kNoUpdater = "no updater";
constexpr const char* kDeclined = "declined";
constexpr const char* kReplacing = "replacing";
constexpr const char* kTryAgain = "Errors - try again.";

constexpr uint16_t kBlock = 256;
constexpr uint16_t kBlockCount = kUpdaterImageSize / kBlock;  // 33: 0x0000..0x2000

constexpr uint16_t kBeforeRestartMs = 750;
constexpr uint16_t kAfterRestartMs = 300;
constexpr uint16_t kAnswerTimeoutMs = 3000;

// The updater listens at 19200 bit/s or, on some boards, at 9600: each failed greeting
// flips between the two.
constexpr uint16_t kUpdaterLinkMode = linkmode::kUpdater19200;
constexpr uint16_t kUpdaterModeFlip = linkmode::kUpdater19200 ^ linkmode::kFirst9600;
constexpr std::array<uint8_t, 7> kUpdaterHandshake = {0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
constexpr int kUpdaterAttempts = 17;
constexpr int kReconnectAttempts = 49;

// The maker's image for the panel's chip, checked; or why there is none.
UpdaterImage ImageFor(const FlashChip* chip, const std::filesystem::path& folderGiven,
                      bool allowTestImages) {
  if (chip == nullptr || chip->updaterChip == nullptr) {
    UpdaterImage none;
    none.line = "No updater image exists for this FLASH type";
    none.lineWithoutFolder = none.line;
    none.inFull = none.line;
    none.details = "No updater image exists for the " +
                   std::string(chip != nullptr ? chip->name : "panel's FLASH type") +
                   ".\n\nThe run goes on with the old Starter.";
    return none;
  }
  const std::filesystem::path folder = UpdaterFolder(folderGiven, std::getenv(kUpdatersVariable));
  return LoadUpdaterImage(chip->updaterChip, folder, allowTestImages, chip->name);
}

// The image's line as the log has room for it: the folder named where it fits whole.
const std::string& FittedLine(const StatusLog& log, const UpdaterImage& image) {
  return FitsLine(log, image.line) ? image.line : image.lineWithoutFolder;
}

}  // namespace

StarterUpdate::StarterUpdate(Starter& starter, Host& host)
    : AllowTestImages(TestUpdatersAllowed()), starter_(starter), host_(host) {}

UpdateResult StarterUpdate::UpdateStarter(uint8_t flashType, bool anyBoard, bool unattended,
                                          bool& forceProgram,
                                          const std::function<bool()>& recordFirst) {
  const auto declined = [&](const char* question) {
    return !unattended && !host_.ui.AskUser(question, false);
  };
  const auto fail = [&](UpdateResult failure) {
    const std::string& status = failure == UpdateResult::FailedNoAnswer ? texts::kNoConnection
                                : failure == UpdateResult::PortLost     ? texts::kPortGone
                                                                        : texts::kBlad;
    host_.log.SetStatus(status, texts::kStatusWidth);
    return failure;
  };

  // The "Starter checking:" line, at 100%, ends with what became of the Starter, so that
  // the percentage is never left standing as if the check had passed.
  const auto checked = [&](const std::string& word) {
    host_.log.SetStatus(word, texts::kStatusWidth);
  };

  // Checked before anything is asked or sent: without the maker's image for this chip
  // there is nothing that may be written, and the person is told why and what to do.
  const FlashChip* chip = FindFlashChip(flashType);
  const UpdaterImage image = ImageFor(chip, UpdatersFolder, AllowTestImages);
  if (!image.Usable()) {
    checked(kNoUpdater);
    host_.log.AddLine(FittedLine(host_.log, image));
    host_.ui.LineInFull(image.inFull);
    if (!unattended) host_.ui.AskUser(image.details, true);
    return UpdateResult::NoImage;
  }

  if (declined(kAskVersion)) {
    checked(kDeclined);
    return UpdateResult::Declined;
  }
  // Said before the record is written: a record that cannot be written says so on a line
  // of its own, and nothing is changed.
  checked(kReplacing);
  // From here on sector 0 may be erased or half written: a run cut short must be able to say
  // so, and to be finished by the next one.
  if (!recordFirst()) return UpdateResult::NotRecorded;
  host_.log.AddLine(kLoadingLabel);

  if (chip->erasesBeforeUpdate) {
    const FlashStatus erased = starter_.EraseFlash(0);
    // An erase that was not acknowledged counts as refused, whatever the cause, unless the
    // port itself went.
    if (erased == FlashStatus::PortLost) return fail(UpdateResult::PortLost);
    if (erased != FlashStatus::Done) return fail(UpdateResult::FailedRefused);
  }

  for (uint16_t i = 0; i < kBlockCount; ++i) {
    host_.log.ShowProgress(i, kBlockCount - 1, texts::kProgressStep);
    const uint32_t at = uint32_t{i} * kBlock;
    switch (starter_.WriteFlashBlock(at, image.bytes.data() + at)) {
      case FlashStatus::Done:
        break;
      case FlashStatus::NoAnswer:
        return fail(UpdateResult::FailedNoAnswer);
      case FlashStatus::PortLost:
        return fail(UpdateResult::PortLost);
      case FlashStatus::Refused:
        return fail(UpdateResult::FailedRefused);
    }
  }

  // Declined once the updater is written: the loading line says so, not a bare 100%.
  const auto loadedThenDeclined = [&] {
    host_.log.SetStatus(kDeclined, texts::kStatusWidth);
    return UpdateResult::Declined;
  };
  if (declined(kAskSupply)) return loadedThenDeclined();
  starter_.link().WaitMs(kBeforeRestartMs);
  if (declined(kAskOutputs)) return loadedThenDeclined();

  // Without a restart the updater never ran, so nothing was updated: that is a failure,
  // not a reason to program the panel as if it had a new Starter.
  portLost_ = false;
  const bool ok = starter_.RestartPanel() && RunUpdater() && Reconnect(anyBoard);
  // The line may go with the port closed under a speed change, where the port can no
  // longer tell: the cause is the port all the same, as in every other phase.
  if (!ok && (portLost_ || starter_.link().LineGone())) return fail(UpdateResult::PortLost);
  if (!ok) {
    if (!unattended) host_.ui.AskUser(kTryAgain, true);
    return fail(UpdateResult::FailedRefused);
  }
  forceProgram = true;
  host_.log.SetStatus(texts::kOk, texts::kStatusWidth);
  return UpdateResult::Updated;
}

bool StarterUpdate::RunUpdater() {
  Link& link = starter_.link();
  PortChoice& ports = starter_.ports();
  link.WaitMs(kAfterRestartMs);
  link.ReceiveAnswer(0);  // whatever the panel sent while it restarted
  ports.LinkMode = kUpdaterLinkMode;
  // A port that cannot be set to the updater's speed is lost for the whole update.
  if (!ports.ApplyLinkSpeed()) return PortLost();
  for (int attempt = 0; attempt < kUpdaterAttempts; ++attempt) {
    link.SendRequest(kUpdaterHandshake);
    const ReceiveResult received = link.ReceiveAnswer(kAnswerTimeoutMs);
    if (received == ReceiveResult::PortLost) return PortLost();
    if (received != ReceiveResult::Answer) {
      ports.LinkMode ^= kUpdaterModeFlip;
      if (!ports.ApplyLinkSpeed()) return PortLost();
    } else if (link.AnswerCode() == AnswerAck) {
      return true;
    }
    if (link.StopRequested()) break;
  }
  return false;
}

bool StarterUpdate::PortLost() {
  portLost_ = true;
  return false;
}

bool StarterUpdate::Reconnect(bool anyBoard) {
  // ConnectStarter walks the link modes on from wherever the updater left them.
  for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
    const Handshake result = starter_.ConnectStarter(anyBoard);
    if (result == Handshake::Connected) return true;
    if (result == Handshake::PortLost) return PortLost();
    if (starter_.link().StopRequested()) break;
  }
  return false;
}

}  // namespace tavrino
