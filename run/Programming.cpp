// SPDX-License-Identifier: GPL-2.0-or-later
// Erasing the program sectors and writing the file's program (with BootCopy where the chip
// keeps it without a settings recovery).
#include <algorithm>

#include "frontend/Texts.h"
#include "run/FlashMap.h"
#include "run/RunTexts.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;

constexpr int32_t kProgrammingKeypadStep = 6;

}  // namespace

bool UpdateRun::Erasing() {
  Add("FLASH erasing:");
  for (uint8_t sector = 0; sector < kProgramSectors; ++sector) {
    Progress(sector, kProgramSectors - 1);
    if (!ctx_.switches.unattended)
      Keypad(KeypadPercent("Erasing     ", sector * 100 / (kProgramSectors - 1)));
    if (!FlashResult(starter_.EraseFlash(sector))) return false;
  }
  Status(texts::kOk);
  return true;
}

bool UpdateRun::WriteProgramBlock(uint32_t flashAddress, int32_t programOffset, bool skipErased) {
  uint8_t bytes[kWriteBlock];
  image_.ReadProgramBytes(starter_.PanelHalf, programOffset, bytes, kWriteBlock);
  // Erased flash already holds a block of 0xFF.
  if (skipErased && std::all_of(bytes, bytes + kWriteBlock, [](uint8_t b) { return b == 0xFF; }))
    return true;
  return FlashResult(starter_.WriteFlashBlock(flashAddress, bytes));
}

bool UpdateRun::Programming() {
  ctx_.verdict.recoverData =
      file_.FileVersion != ctx_.panel.versionCode || ErasesSector6() || Sector6Touched();
  // Without a settings recovery, a BootCopy chip gets its copy here: the last 6 %.
  const uint32_t scale = ctx_.verdict.recoverData ? 100 : 94;
  int32_t nextStep = 0;
  Add("FLASH programing:");
  for (uint32_t a = 0; a < kProgramArea; a += kWriteBlock) {
    const auto percent = static_cast<int32_t>((a * scale + 0x30000) / kProgramArea);
    Progress(percent);
    KeypadProgress("Programming ", percent, nextStep, kProgrammingKeypadStep);
    if (!WriteProgramBlock(a, static_cast<int32_t>(a), true)) return false;
    // Blocks of 0xFF make no exchange that a Stop could fail, so the loop looks itself;
    // a program left half written must not read as "  ok".
    if (!EndIfStopped(texts::kBlad)) return false;
  }
  if (HasBootCopyRules() && !ctx_.verdict.recoverData) {
    for (uint32_t j = 0; j < kBootCopyWriteBlocks; ++j) {
      const auto percent = static_cast<int32_t>(j * 6 / 63 + 94);
      Progress(percent);
      KeypadProgress("Programming ", percent, nextStep, kProgrammingKeypadStep);
      if (!WriteProgramBlock(kBootCopyBase + j * kWriteBlock, static_cast<int32_t>(j * kWriteBlock),
                             false))
        return false;
    }
  }
  programWritten_ = true;
  Status(texts::kOk);
  return true;
}

}  // namespace tavrino
