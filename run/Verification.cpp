// SPDX-License-Identifier: GPL-2.0-or-later
// Proving the result block by block, naming the first bad byte, and restarting the panel.
#include "frontend/Texts.h"
#include "run/FlashMap.h"
#include "run/RunTexts.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;

constexpr int32_t kVerifyingKeypadStep = 13;
constexpr int kCtsSamples = 256;
constexpr int kRestartPolls = 192;  // about 11.5 s of 60 ms polls
constexpr uint16_t kRestartPollMs = 60;
constexpr int kCtsOnPollsToEnd = 4;
constexpr uint16_t kRestartSettleMs = 25;

}  // namespace

bool UpdateRun::LocateBadByte(uint32_t block, uint32_t& address) {
  for (uint32_t i = 0; i < kChecksumBlock && !host_.Stopped(); ++i) {
    uint8_t value = 0;
    if (!starter_.ReadFlashByte(block + i, value)) return false;
    if (value != image_.ProgramByte(starter_.PanelHalf, static_cast<int32_t>(block + i))) {
      address = block + i;
      return true;
    }
  }
  return false;
}

bool UpdateRun::VerificationFailed(const std::string& status, const std::string& keypad) {
  // The error goes to the keypad also in an unattended run: the technician is at the panel.
  Keypad(keypad);
  Status(status);
  Add("");
  if (ctx_.switches.showProgrammingError) {
    Add("Programming error !!!");
    Add("Try again.");
  }
  return EndQuietly(Outcome::VerificationFailed);
}

bool UpdateRun::Verification() {
  int32_t nextStep = 0;
  verificationBegun_ = true;
  Add("Verification:");
  const uint32_t scale = HasBootCopyRules() ? 94 : 100;
  for (uint32_t a = 0; a < kProgramArea; a += kChecksumBlock) {
    const auto percent = static_cast<int32_t>((a * scale + 0x30000) / kProgramArea);
    KeypadProgress("Verifying   ", percent, nextStep, kVerifyingKeypadStep);
    Progress(percent);
    bool matches = false;
    if (!FileBlockMatches(a, a, matches)) return false;
    if (!matches) {
      uint32_t x = 0;
      if (!LocateBadByte(a, x)) return VerificationFailed(texts::kBlad, "Error  ");
      return VerificationFailed(texts::kBlad + " @0x" + HexDigits(x, 5),
                                "Error   @0x" + HexDigits(x, 5));
    }
    // A stopped verification has not seen every block: it must not read as "  ok".
    if (!EndIfStopped(texts::kNoConnection)) return false;
  }
  if (HasBootCopyRules()) {
    for (uint32_t j = 0; j < kBootCopyChecksumBlocks; ++j) {
      const auto percent = static_cast<int32_t>(j * 6 / 31 + 94);
      KeypadProgress("Verifying   ", percent, nextStep, kVerifyingKeypadStep);
      Progress(percent);
      const uint32_t offset = j * kChecksumBlock;
      bool matches = false;
      if (!FlashBlocksMatch(offset, kBootCopyBase + offset, matches)) return false;
      if (!matches)
        return VerificationFailed(texts::kBlad + " @0x6" + HexDigits(offset, 4),
                                  "Error   @0x6" + HexDigits(offset, 4));
      if (!EndIfStopped(texts::kNoConnection)) return false;
    }
  }
  Status(texts::kOk);
  return true;
}

Outcome UpdateRun::Restarting() {
  const bool restarted = RestartAndWait();
  // The program is written and verified whatever the restart did, so the box stays; the
  // caller still learns that the panel did not take the restart.
  if (!ctx_.switches.unattended) host_.ui.AskUser("Updating ok.", true);
  if (!restarted) return Outcome::NoConnection;
  return ctx_.verdict.sameProgram ? Outcome::SameProgram : Outcome::Updated;
}

bool UpdateRun::RestartAndWait() {
  Add("Restarting panel");
  int ctsOff = 0;
  for (int i = 0; i < kCtsSamples; ++i)
    if (!port_.PortCtsOn()) ++ctsOff;
  const bool restarted = starter_.RestartPanel();

  // A panel that held CTS off until now tells when its program runs by raising it; any
  // other panel gets the whole wait.
  host_.ui.ShowWaitBox(true);
  int polls = kRestartPolls;
  int ctsOnLeft = kCtsOnPollsToEnd;
  do {
    link_.WaitMs(kRestartPollMs);
    if (ctsOff == kCtsSamples) ctsOnLeft = port_.PortCtsOn() ? ctsOnLeft - 1 : kCtsOnPollsToEnd;
    polls = ctsOnLeft == 0 ? 0 : polls - 1;
  } while (polls != 0);
  link_.WaitMs(kRestartSettleMs);
  port_.ClosePort();
  host_.ui.ShowWaitBox(false);

  if (!host_.Stopped()) Status(restarted ? texts::kOk : texts::kBlad);
  return restarted;
}

Outcome UpdateRun::ComparisonEnd() {
  host_.ui.AskUser("Comparison ok.", true);
  return Outcome::ComparisonOk;
}

}  // namespace tavrino
