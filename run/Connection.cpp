// SPDX-License-Identifier: GPL-2.0-or-later
// Opening the file and the port, connecting to the Starter, identifying the flash chip and
// the Starter, checking the Starter, and greeting the panel's keypad.
#include <string>

#include "firmware/Version.h"
#include "frontend/Texts.h"
#include "link/FlashChip.h"
#include "run/FileLoad.h"
#include "run/FlashMap.h"
#include "run/RunTexts.h"
#include "run/UpdateRun.h"
#include "tavrino/BuildInfo.h"

namespace tavrino {

namespace {

using namespace flashmap;

constexpr int kConnectNoAnswerLimit = 40;  // the 41st silent attempt gives up
constexpr int kConnectWrongAnswerLimit = 8;
constexpr int kIdentifyFailureLimit = 546;  // the 547th failed attempt gives up
constexpr uint32_t kStarterSumSeed = 2000;
constexpr int kKeypadClears = 10;
constexpr uint16_t kKeypadClearPauseMs = 330;

// What the identification shows for an answer other than the expected data.
std::string AnswerCodeText(uint8_t code) {
  switch (code) {
    case AnswerAck:
      return "ERROR (ok)";
    case AnswerError:
      return "ERROR (Error)";
    case AnswerBadCommand:
      return "ERROR (bad command)";
    default:
      return "ERROR (bad answer)";
  }
}

// The Starter's own sum: a 32-bit add-and-rotate over its area, stored bytes left out.
uint32_t AddStarterBytes(uint32_t sum, const uint8_t* block, uint32_t blockOffset) {
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t offset = blockOffset + i;
    if (offset >= 0x1FFC && offset <= 0x1FFF) continue;
    sum += (sum >> 9) & 7;
    sum += block[i];
    sum = (sum << 1) | (sum >> 31);
  }
  return sum;
}

}  // namespace

bool UpdateRun::OpenFileAndPort() {
  ctx_.verdict.forceProgram = false;
  ctx_.portOpened = false;
  ctx_.verdict.sameProgram = false;
  ctx_.verdict.fileIsNewer = false;
  ctx_.verdict.recoverData = false;
  starterUpdated_ = false;
  ForgetRecord();
  settings_.Reset();
  if (OpenFirmwareFile(host_, file_, false, starter_.PanelHalf) != FileLoad::Loaded)
    return EndQuietly(Outcome::FileRejected);
  ctx_.portOpened = ports_.ChoosePort();
  if (!ctx_.portOpened) return EndQuietly(Outcome::PortNotOpened);
  return true;
}

bool UpdateRun::Connecting() {
  Add("Connecting:");
  int noAnswer = 0;
  int wrongAnswer = 0;
  Handshake result = Handshake::NoConnection;
  // A wrong answer is tried again like a silent one, also on the first attempt: only a
  // real handshake counts as connected.
  while (!host_.Stopped()) {
    // A file with both halves serves either board.
    result = starter_.ConnectStarter(anyBoard_ || image_.FileHasTwoHalves);
    if (result == Handshake::Connected) break;
    // The port is no longer ours at any speed: waiting on it could only time out.
    if (result == Handshake::PortLost) return End(Outcome::PortNotOpened, texts::kNoConnection);
    if (result == Handshake::WrongAnswer) {
      if (++wrongAnswer == kConnectWrongAnswerLimit)
        return End(Outcome::PanelRefused, "bad FLASH version");
    } else if (++noAnswer > kConnectNoAnswerLimit) {
      break;
    }
  }
  if (result != Handshake::Connected) return End(Outcome::NoConnection, texts::kNoConnection);
  Status(texts::kOk);
  return true;
}

bool UpdateRun::Identification() {
  Add("FLASH type:");
  int failures = 0;
  do {
    switch (IdentifyOnce()) {
      case Identify::Identified:
        failures = 0;
        break;
      case Identify::NoAnswer:
        ++failures;
        break;
      case Identify::StarterUpdated:
        // Counted as one failure: the new Starter is slow to answer as a slow panel is.
        failures = 1;
        break;
      case Identify::RunEnds:
        return false;
    }
    // Shown once for each run of failures: the panel is slow to come back.
    if (failures == 2) Status("waiting...");
  } while (failures >= 1 && failures <= kIdentifyFailureLimit && !host_.Stopped());
  if (failures != 0) return End(Outcome::NoConnection, texts::kNoConnection);
  RefreshFileVersion();
  return true;
}

UpdateRun::Identify UpdateRun::IdentifyOnce() {
  if (!starter_.ReadFlashByte(kStarterLanguageAddress, ctx_.panel.starterLanguage))
    return Identify::NoAnswer;
  if (!starter_.IdentifyStarter()) return Identify::NoAnswer;
  if (link_.AnswerCode() != AnswerData)
    return EndIdentification(AnswerCodeText(link_.AnswerCode()));
  ctx_.panel.flashType = link_.AnswerData(0);
  ctx_.panel.starterVersion = link_.AnswerData(1);
  const FlashChip* chip = FindFlashChip(ctx_.panel.flashType);
  if (chip == nullptr)
    return EndIdentification("??? (" + std::to_string(ctx_.panel.flashType) + ")");
  Status(chip->name);

  Add("Starter version:");
  std::string version;
  version += static_cast<char>((ctx_.panel.starterVersion >> 4) + 0x30);
  version += '.';
  version += static_cast<char>((ctx_.panel.starterVersion & 0x0F) + 0x30);
  version += LanguageSuffix(ctx_.panel.starterLanguage, true);
  version += starter_.OnSecondHalf() ? " 24 MHz" : " 12 MHz";
  Status(version);

  starter_.PanelTextEnabled = ctx_.panel.starterVersion > 0x1F;
  if (ctx_.switches.write && chip->starterChecked) return StarterChecking();
  return Identify::Identified;
}

UpdateRun::Identify UpdateRun::EndIdentification(const std::string& status) {
  End(Outcome::PanelRefused, status);
  return Identify::RunEnds;
}

bool UpdateRun::ReadStarterHeader(uint32_t& stored, uint8_t digits[2]) {
  stored = 0;
  for (uint32_t address = kStarterChecksumAddress + 3; address >= kStarterChecksumAddress;
       --address) {
    uint8_t b = 0;
    if (!starter_.ReadFlashByte(address, b)) return false;
    stored = (stored << 8) | b;
  }
  return starter_.ReadFlashByte(kStarterDigitsAddress, digits[0]) &&
         starter_.ReadFlashByte(kStarterDigitsAddress + 1, digits[1]);
}

UpdateRun::Identify UpdateRun::StarterChecking() {
  Add("Starter checking:");
  uint32_t sum = kStarterSumSeed;
  uint32_t stored = 0;
  uint8_t digits[2] = {0, 0};
  uint8_t block[256];
  for (uint32_t n = 0; n <= 255; ++n) {
    Progress(static_cast<int32_t>(n), 255);
    if (!starter_.ReadFlashBlock(kStarterBase + 256 * n, block) ||
        (n == 255 && !ReadStarterHeader(stored, digits))) {
      End(Outcome::NoConnection, texts::kNoConnection);
      return Identify::RunEnds;
    }
    sum = AddStarterBytes(sum, block, 256 * n);
  }
  // Signed, so that a digit byte below '0' can never match the version.
  const int fromDigits = ((digits[0] - 0x30) * 16) | (digits[1] - 0x30);
  const bool bad = sum != stored || ctx_.panel.starterVersion < kFirstGoodStarter ||
                   fromDigits != ctx_.panel.starterVersion ||
                   ctx_.panel.starterLanguage != kEnglishStarter;
  if (!bad) {
    Status(texts::kOk);
    return Identify::Identified;
  }
  if (starterUpdated_) return EndIdentification(texts::kBlad);
  const auto recordFirst = [this] { return RecordStarterUpdate(); };
  switch (starterUpdate_.UpdateStarter(ctx_.panel.flashType, image_.FileHasTwoHalves,
                                       ctx_.switches.unattended, ctx_.verdict.forceProgram,
                                       recordFirst)) {
    case UpdateResult::Updated:
      starterUpdated_ = true;
      starterUpdateOpen_ = false;
      Add("FLASH type:");
      return Identify::StarterUpdated;
    case UpdateResult::Declined:
    case UpdateResult::NoImage:
      return Identify::Identified;  // go on with the old Starter
    // UpdateStarter has said why on the line; the outcome must tell the same.
    case UpdateResult::FailedNoAnswer:
      EndQuietly(Outcome::NoConnection);
      return Identify::RunEnds;
    case UpdateResult::PortLost:
      EndQuietly(Outcome::PortNotOpened);
      return Identify::RunEnds;
    case UpdateResult::NotRecorded:
      return Identify::RunEnds;  // the record's line and outcome are given
    case UpdateResult::FailedRefused:
      break;
  }
  EndQuietly(Outcome::PanelRefused);
  return Identify::RunEnds;
}

void UpdateRun::RefreshFileVersion() {
  // The file's version was read when the file loaded, from the half chosen by the board of
  // the previous run. A two-half file must be judged by the half this panel will get.
  if (!image_.FileHasTwoHalves) return;
  const std::string record = file_.ReadFileVersionRecord(starter_.PanelHalf);
  if (record.size() < 6) return;
  file_.FileVersion = record.substr(0, 3);
  file_.FileLanguage = static_cast<uint8_t>(record[5]);
  file_.FileVersionText = VersionText(record.substr(0, 5), file_.FileLanguage);
}

void UpdateRun::GreetKeypad() {
  for (int i = 0; i < kKeypadClears; ++i) {
    starter_.ShowPanelText("", "", false);
    link_.WaitMs(kKeypadClearPauseMs);
  }
  starter_.ShowPanelText(build::kKeypadGreeting,
                         ctx_.switches.unattended ? "Express mode    " : " ", true);
}

}  // namespace tavrino
