// SPDX-License-Identifier: GPL-2.0-or-later
// Which program the panel holds, whether both programs are supported, whether the settings
// format changes, and whether the file's program must be written at all.
#include <string>

#include "firmware/Checksum.h"
#include "firmware/Version.h"
#include "frontend/Texts.h"
#include "run/FlashMap.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;

const std::string kErasedVersion = "\xFF\xFF\xFF";

bool Supported(const std::string& version) {
  return version == "100" || version == "102" || version == "103" || version == "104";
}

bool Convertible(const std::string& version) {
  return version == "103" || version == "104";
}

std::string First7(const std::string& versionText) {
  return versionText.substr(0, 7);
}

}  // namespace

bool UpdateRun::ProgramsComparison() {
  if (!ProgramInPanel()) return false;
  Add("Program in file:");
  Status(file_.FileVersionText);
  if (!SupportedRange() || !DataFormatQuestion()) return false;

  Add("Programs comparison:");
  const std::string file7 = First7(file_.FileVersionText);
  const std::string panel7 = First7(ctx_.panel.versionText);
  ctx_.verdict.sameProgram =
      file_.FileVersion == ctx_.panel.versionCode && file_.FileLanguage == ctx_.panel.language;
  ctx_.verdict.fileIsNewer =
      (file7 == panel7 && file_.FileLanguage != ctx_.panel.language) || TextLess(panel7, file7);
  if (ctx_.verdict.forceProgram) {
    ctx_.verdict.sameProgram = false;
    ctx_.verdict.fileIsNewer = true;
  }
  // A cut update is done again whole, whatever the panel's program now says.
  if (resumingUpdate_) ctx_.verdict.sameProgram = false;
  const bool older = !ctx_.verdict.fileIsNewer && TextLess(file7, panel7);
  if (older) {
    Status("older");
    if (!ctx_.switches.unattended &&
        !AskUnlessAnswered(state::kAnsweredOlder,
                           "Selected program is older than panel program.\r"
                           "Program anyway ?"))
      return EndQuietly(Outcome::Declined);
    if (!ctx_.switches.unattended) ctx_.verdict.forceProgram = true;
    ctx_.verdict.sameProgram = false;
  }
  if (!CompareBlocks() || !CompareBootCopy()) return false;
  // Written again because an update was cut short: the line says so, not "newer".
  if (ctx_.verdict.sameProgram)
    Status(texts::kOk);
  else if (older)
    Status("older");
  else
    Status(resuming_ ? "unfinished" : ctx_.verdict.fileIsNewer ? "newer" : "older");
  return true;
}

void UpdateRun::ReadPanelVersionRecord(uint32_t address, std::string& chars, uint8_t& language) {
  chars.clear();
  for (uint32_t i = 0; i < 5; ++i) {
    uint8_t b = 0;
    if (starter_.ReadFlashByte(address + i, b)) chars += static_cast<char>(b);
  }
  if (!starter_.ReadFlashByte(address + 5, language)) chars.clear();
}

bool UpdateRun::ReadVersionRecord(std::string& record) {
  const std::string signature(kVersionRecordSignature, kVersionRecordSize);
  std::string chars;
  uint8_t language = 0;
  ReadPanelVersionRecord(kVersionRecordOffset, chars, language);
  if (chars.size() == 5 && chars + static_cast<char>(language) == signature)
    ReadPanelVersionRecord(kVersionRecordOffset + kVersionRecordSize, chars, language);
  if (chars.size() != 5) return false;
  record = chars + static_cast<char>(language);
  return true;
}

bool UpdateRun::ProgramInPanel() {
  Add("Program in panel:");
  if (!ReadVersionRecord(ctx_.panel.versionRecord))
    return End(Outcome::NoConnection, texts::kNoConnection);
  const std::string chars = ctx_.panel.versionRecord.substr(0, 5);
  const auto language = static_cast<uint8_t>(ctx_.panel.versionRecord[5]);
  ctx_.panel.versionCode = chars.substr(0, 3);
  ctx_.panel.language = language;
  ctx_.panel.versionText = VersionText(chars, language);
  ctx_.panel.versionShown = chars == "\xFF\xFF\xFF\xFF\xFF" ? "???" : ctx_.panel.versionText;
  Status(ctx_.panel.versionShown);
  // A blank panel is judged as if it held the file's version: it gets the program, and
  // its language byte (0xFF) makes the comparison say "newer".
  if (ctx_.panel.versionCode == kErasedVersion) {
    ctx_.panel.versionCode = file_.FileVersion;
    ctx_.panel.versionText = file_.FileVersionText;
  }
  AdoptRecordedPanel();
  return true;
}

bool UpdateRun::SupportedRange() {
  if (Supported(ctx_.panel.versionCode) && Supported(file_.FileVersion)) return true;
  host_.ui.AskUser("Program works with  1.00.00 - 1.04.xx  versions only !", true);
  return EndQuietly(Outcome::PanelRefused);
}

bool UpdateRun::DataFormatQuestion() {
  if (ctx_.verdict.forceProgram || file_.FileVersion == ctx_.panel.versionCode ||
      ctx_.switches.unattended)
    return true;
  const bool convertible = Convertible(file_.FileVersion) && Convertible(ctx_.panel.versionCode);
  const std::string question =
      convertible ? "Data format in panel differs from data format in file.\r"
                    "Program can automatically convert format in panel.\r\rContinue ?"
                  : "Data format in panel differs from data format in file.\n"
                    "PROGRAM WILL NOT CONVERT DATA FORMAT - SETTINGS WILL BE LOST !!!\n\n"
                    "Continue ?";
  return AskUnlessAnswered(state::kAnsweredDataFormat, question) || EndQuietly(Outcome::Declined);
}

bool UpdateRun::AskUnlessAnswered(state::AnsweredQuestion which, const std::string& question) {
  if ((answeredBefore_ & which) == 0 && !Ask(question)) return false;
  answered_ |= which;
  return true;
}

bool UpdateRun::FileBlockMatches(uint32_t offset, uint32_t panelAddress, bool& matches) {
  uint8_t bytes[kChecksumBlock];
  image_.ReadProgramBytes(starter_.PanelHalf, static_cast<int32_t>(offset), bytes, kChecksumBlock);
  const HalfChecksum file = BlockChecksum(bytes, kChecksumBlock);
  HalfChecksum panel;
  if (!starter_.ReadFlashChecksum(panelAddress, panel.sum, panel.xorValue, panel.rot))
    return End(Outcome::NoConnection, texts::kNoConnection);
  matches = file == panel;
  return true;
}

bool UpdateRun::FlashBlocksMatch(uint32_t a, uint32_t b, bool& matches) {
  HalfChecksum first;
  HalfChecksum second;
  if (!starter_.ReadFlashChecksum(a, first.sum, first.xorValue, first.rot) ||
      !starter_.ReadFlashChecksum(b, second.sum, second.xorValue, second.rot))
    return End(Outcome::NoConnection, texts::kNoConnection);
  matches = first == second;
  return true;
}

bool UpdateRun::CompareBlocks() {
  // From the top down: programs of one version that differ mostly differ near the end.
  const uint32_t scale = HasBootCopyRules() ? 94 : 100;
  for (uint32_t remaining = kProgramArea; remaining > 0 && ctx_.verdict.sameProgram;
       remaining -= kChecksumBlock) {
    Progress(static_cast<int32_t>(((kProgramArea - remaining) * scale + 0x2FFFE) / kProgramArea));
    const uint32_t offset = remaining - kChecksumBlock;
    bool matches = false;
    if (!FileBlockMatches(offset, offset, matches)) return false;
    if (!matches) {
      ctx_.verdict.sameProgram = false;
      ctx_.verdict.fileIsNewer = true;
    }
    // A stopped comparison has not seen every block: it must not read as "  ok".
    if (!EndIfStopped(texts::kNoConnection)) return false;
  }
  return true;
}

bool UpdateRun::CompareBootCopy() {
  if (!HasBootCopyRules()) return true;
  for (uint32_t k = 0; k < kBootCopyChecksumBlocks && ctx_.verdict.sameProgram; ++k) {
    Progress(static_cast<int32_t>(k * 6 / 31 + 94));
    bool matches = false;
    if (!FlashBlocksMatch(k * kChecksumBlock, kBootCopyBase + k * kChecksumBlock, matches))
      return false;
    if (!matches) {
      ctx_.verdict.sameProgram = false;
      ctx_.verdict.fileIsNewer = true;
    }
    if (!EndIfStopped(texts::kNoConnection)) return false;
  }
  return true;
}

bool UpdateRun::AskContinue() {
  if (ctx_.switches.unattended || ctx_.verdict.forceProgram) return true;
  return AskUnlessAnswered(state::kAnsweredContinue, "Continue ?") || EndQuietly(Outcome::Declined);
}

}  // namespace tavrino
