// SPDX-License-Identifier: GPL-2.0-or-later
// Carrying the panel's settings over a new program: the copy in flash sector 6 is saved,
// refreshed (converted where the data format changes) and written back beside BootCopy,
// and the settings memories themselves are converted when the format changes.
#include "frontend/Texts.h"
#include "run/FlashMap.h"
#include "run/RunTexts.h"
#include "run/UpdateRun.h"

namespace tavrino {

namespace {

using namespace flashmap;

constexpr uint32_t kBlock = kSettingsBlock;  // settings blocks and flash pages alike
constexpr uint32_t kSavedBlocks = kCopyBlocks;
constexpr uint8_t kArea0 = SettingsAreas::kMemory2Area;
constexpr uint8_t kArea1 = SettingsAreas::kOldMemory1Area;
constexpr uint8_t kArea2 = SettingsAreas::kNewMemory1Area;

// The recovery's bar: reading the saved copy fills the first 45%, writing sector 6 back the
// remaining 55% (the write is the longer half: 256 blocks against 192).
constexpr int32_t kRecoveryReadPercent = 45;
constexpr int32_t kRecoveryWritePercent = 100 - kRecoveryReadPercent;
// The total the 192 reads are counted against: about 192 * 100 / 45, so that the last read
// shows just under kRecoveryReadPercent.
constexpr int32_t kRecoveryReadTotal = 428;

// The conversion's bar: both memories read, then both written; each pass's share follows
// its blocks (memory 1 has twice the blocks of memory 2), the reads fill the first half.
constexpr int32_t kMemory1Percent = 33;
constexpr int32_t kMemory2Percent = 17;
constexpr int32_t kReadsPercent = kMemory1Percent + kMemory2Percent;

}  // namespace

bool UpdateRun::ConversionDueFrom(const std::string& panelCode) const {
  const std::string& file = file_.FileVersion;
  return (file == "104" && panelCode == "103") || (file == "103" && panelCode == "104");
}

bool UpdateRun::SettingsFailed() {
  // The work areas refused an access or a conversion: nothing more may be written from
  // them, or the panel would get settings that were never prepared. A fault of the tool
  // itself: the person is told in a box, and the application asked to end.
  if (!settings_.Failed()) return false;
  host_.ui.AskUser(SettingsFaultText(settings_.Fault()), true);
  host_.ui.RequestQuit();
  End(Outcome::InternalError, texts::kBlad);
  return true;
}

bool UpdateRun::StoreSettings(uint8_t area, uint16_t offset, const uint8_t* block256) {
  for (uint16_t i = 0; i < kBlock; ++i)
    if (!settings_.WriteSettingsArea(area, static_cast<uint16_t>(offset + i), block256 + i, 1))
      break;
  return !SettingsFailed();
}

bool UpdateRun::LoadSettings(uint8_t area, uint16_t offset, uint8_t* block256) {
  for (uint16_t i = 0; i < kBlock; ++i)
    if (!settings_.ReadSettingsArea(area, static_cast<uint16_t>(offset + i), block256 + i, 1))
      break;
  return !SettingsFailed();
}

bool UpdateRun::ReadMemoryInto(uint8_t memory, uint32_t blocks, uint8_t area, uint16_t areaOffset,
                               int32_t span, int32_t base) {
  uint8_t block[kBlock];
  for (uint32_t n = 0; n < blocks; ++n) {
    Progress(static_cast<int32_t>((span * n + span) / blocks) + base);
    if (!SettingsMemoryBlock(memory, n, block))
      return End(Outcome::NoConnection, texts::kNoConnection);
    if (!StoreSettings(area, static_cast<uint16_t>(areaOffset + kBlock * n), block)) return false;
  }
  return true;
}

bool UpdateRun::WriteMemoryFrom(uint8_t memory, uint32_t blocks, uint8_t area, uint16_t areaOffset,
                                int32_t span, int32_t base) {
  uint8_t block[kBlock];
  for (uint32_t n = 0; n < blocks; ++n) {
    Progress(static_cast<int32_t>((span * n + span) / blocks) + base);
    if (!LoadSettings(area, static_cast<uint16_t>(areaOffset + kBlock * n), block)) return false;
    const FlashStatus written =
        starter_.WriteDataBlock(memory, static_cast<uint16_t>(kMemoryBase + kBlock * n), block);
    // The line says the panel is lost either way; the outcome tells a panel that refused
    // the block from one that stopped answering.
    if (written != FlashStatus::Done) {
      return End(written == FlashStatus::Refused ? Outcome::PanelRefused : Outcome::NoConnection,
                 texts::kNoConnection);
    }
  }
  return true;
}

bool UpdateRun::PrepareMemory1(bool refreshSumsFirst) {
  if (refreshSumsFirst) settings_.RefreshMemory2Sums();
  bool converted = true;
  if (ConversionDue())
    converted = settings_.ConvertSettings(ctx_.panel.versionCode, file_.FileVersion);
  else
    settings_.CopyMemory1Unchanged();
  if (!refreshSumsFirst) settings_.RefreshMemory2Sums();
  if (SettingsFailed()) return false;
  return converted || End(Outcome::InternalError, texts::kBlad);
}

bool UpdateRun::DataRecovering() {
  Add("Data recovering:");
  Keypad("Data recovering ", true);

  uint8_t block[kBlock];
  for (uint32_t n = 0; n < kSavedBlocks; ++n) {
    Progress(static_cast<int32_t>(n), kRecoveryReadTotal);
    if (!SavedSector6Block(n, block)) return End(Outcome::NoConnection, texts::kNoConnection);
    const CopyBlockPlace place = SettingsCopyBlock(n);
    if (!StoreSettings(place.memory2 ? kArea0 : kArea1, place.areaOffset, block)) return false;
  }
  Progress(kRecoveryReadPercent);
  if (!PrepareMemory1(true) || !RecordSector6()) return false;

  // ATMEL and Winbond rewrite a page without an erase.
  if (ErasesSector6() && !FlashResult(starter_.EraseFlash(kSector6))) return false;
  for (uint32_t n = 0; n < kSector6Blocks; ++n) {
    Progress(
        static_cast<int32_t>((kRecoveryWritePercent * n + kRecoveryWritePercent) / kSector6Blocks +
                             kRecoveryReadPercent));
    if (n < kBootCopyWriteBlocks) {
      image_.ReadProgramBytes(starter_.PanelHalf, static_cast<int32_t>(kBlock * n), block, kBlock);
    } else {
      const CopyBlockPlace place = SettingsCopyBlock(n - kBootCopyWriteBlocks);
      if (!LoadSettings(place.memory2 ? kArea0 : kArea2, place.areaOffset, block)) return false;
    }
    // Every block goes back, 0xFF blocks included: the sector may have been erased.
    if (!FlashResult(starter_.WriteFlashBlock(kBootCopyBase + kBlock * n, block))) return false;
  }
  Status(texts::kOk);
  return true;
}

bool UpdateRun::DataConversion() {
  Add("Data conversion:");
  Keypad("Data conversion ", true);
  if (!ReadMemoryInto(1, kMemory1Blocks, kArea1, 0, kMemory1Percent, 0) ||
      !ReadMemoryInto(2, kMemory2Blocks, kArea0, SettingsAreas::kMemory2Offset, kMemory2Percent,
                      kMemory1Percent))
    return false;
  // Here the sums follow the conversion; in the recovery above they come first.
  if (!PrepareMemory1(false) || !RecordMemories()) return false;
  if (!WriteMemoryFrom(1, kMemory1Blocks, kArea2, 0, kMemory1Percent, kReadsPercent) ||
      !WriteMemoryFrom(2, kMemory2Blocks, kArea0, SettingsAreas::kMemory2Offset, kMemory2Percent,
                       kReadsPercent + kMemory1Percent))
    return false;
  Status(texts::kOk);
  return true;
}

}  // namespace tavrino
