// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/Backups.h"

#include <algorithm>

#include "firmware/Version.h"
#include "frontend/Cp1250.h"
#include "link/FlashChip.h"
#include "run/RestoreImages.h"

namespace tavrino::cli {

namespace {

std::string PhaseText(const state::RecoveryRecord& r) {
  if (r.kind == state::RecordKind::Backup) return "backup";
  if (r.kind == state::RecordKind::StarterUpdate) return "unfinished: Starter update";
  if (r.kind == state::RecordKind::Restore) return "unfinished: restore";
  switch (r.phase) {
    case state::RecordPhase::Programming:
      return "unfinished: program";
    case state::RecordPhase::Sector6:
      return "unfinished: sector 6 copies";
    case state::RecordPhase::Memories:
      return "unfinished: settings memories";
    case state::RecordPhase::Finished:
      return "finished update";
    case state::RecordPhase::Read:
      break;
  }
  return "unfinished";
}

std::string StarterText(const state::RecoveryRecord& r) {
  const int version = r.starterVersion;
  return "Starter " + std::to_string(version >> 4) + "." + std::to_string(version & 0x0F) +
         Cp1250ToUtf8(LanguageSuffix(r.starterLanguage, true));
}

std::string PanelText(const state::RecoveryRecord& r) {
  const FlashChip* chip = FindFlashChip(r.flashType);
  std::string text = chip ? chip->name : "flash type " + std::to_string(r.flashType);
  // Taken before the program's version was read: the Starter is what it names.
  if (r.kind == state::RecordKind::StarterUpdate) return text + ", " + StarterText(r);
  const std::string& v = r.panelVersionRecord;
  if (v.size() == 6 && v != std::string(6, '\xFF'))
    text += ", " + Cp1250ToUtf8(VersionText(v.substr(0, 5), static_cast<uint8_t>(v[5])));
  else
    text += ", no program";
  if (!r.dataCode.empty()) text += ", data " + Cp1250ToUtf8(r.dataCode);
  return text;
}

std::string KindText(const state::RecoveryRecord& r) {
  switch (r.kind) {
    case state::RecordKind::Backup:
      return "settings backup";
    case state::RecordKind::StarterUpdate:
      return "record of a Starter update, unfinished";
    case state::RecordKind::Restore:
      return "record of a restore, unfinished";
    case state::RecordKind::Update:
      break;
  }
  if (r.phase == state::RecordPhase::Finished) return "record of an update, finished";
  return "record of an update, " + PhaseText(r);
}

std::string ImagesText(const state::RecoveryRecord& r) {
  std::string text;
  const auto add = [&text](bool has, const std::string& what) {
    if (has) text += (text.empty() ? "" : ", ") + what;
  };
  add(!r.memoriesRead.empty(), "settings memories as read");
  add(!r.memoriesWritten.empty(), "settings memories as written");
  add(!r.sector6Saved.empty(), "sector 6 copies as read");
  add(!r.sector6Written.empty(), "sector 6 as written (BootCopy and copies)");
  const size_t earlier = r.earlierSector6Written.size() + r.earlierMemoriesWritten.size();
  add(earlier > 0, std::to_string(earlier) + " as earlier runs wrote them");
  add(!r.copyChecks.empty(), "check values of the sector 6 copies");
  return text.empty() ? "none" : text;
}

std::string Row(const std::string& name, const std::string& value) {
  std::string row = name + ":";
  row.resize(std::max<size_t>(row.size() + 1, 16), ' ');
  return row + value + "\n";
}

}  // namespace

std::string RecordDescription(const state::StoredRecord& stored) {
  std::string text = Row("File", stored.path.string());
  if (!stored.Usable())
    return text + Row("State", "cannot be used: " + stored.Why() + "; it is never used");
  const state::RecoveryRecord& r = stored.record;
  text += Row("State", "checksum good, format " + std::to_string(r.format) +
                           (r.Bound() ? "" : " (cannot prove its panel)"));
  text += Row("Kind", KindText(r));
  text += Row("Written", state::TimeText(r.writtenAt));
  const FlashChip* chip = FindFlashChip(r.flashType);
  std::string panel = chip ? chip->name : "flash type " + std::to_string(r.flashType);
  panel += ", " + StarterText(r) + (r.secondHalf ? ", 24 MHz" : ", 12 MHz");
  const std::string& v = r.panelVersionRecord;
  if (v.size() == 6 && v != std::string(6, '\xFF'))
    panel += ", program " + Cp1250ToUtf8(VersionText(v.substr(0, 5), static_cast<uint8_t>(v[5])));
  else if (r.kind != state::RecordKind::StarterUpdate)
    panel += ", no program";
  text += Row("Panel", panel);
  if (!r.dataCode.empty()) text += Row("Data code", Cp1250ToUtf8(r.dataCode));
  if (!r.port.empty()) text += Row("Port", r.port);
  if (r.kind == state::RecordKind::Restore) {
    text += Row("Backup file", r.filePath);
  } else if (!r.filePath.empty()) {
    const std::string& f = r.fileVersionRecord;
    const std::string version =
        f.size() == 6
            ? " (" + Cp1250ToUtf8(VersionText(f.substr(0, 5), static_cast<uint8_t>(f[5]))) + ")"
            : "";
    text += Row("Firmware file", r.filePath + version);
  }
  text += Row("Images", ImagesText(r));
  BackupSettings settings;
  const std::string why = SettingsOfRecord(r, settings);
  text += Row("Restore", why.empty()
                             ? "can restore settings of data " + Cp1250ToUtf8(settings.dataCode) +
                                   (settings.copies.empty() ? ", without sector 6 copies" : "")
                             : "cannot: " + why);
  return text;
}

int ShowRecord(const std::filesystem::path& file, std::ostream& out) {
  const state::StoredRecord stored = state::ReadRecordFile(file);
  out << RecordDescription(stored);
  return stored.Usable() ? 0 : 2;
}

std::string RecordLine(const state::StoredRecord& stored) {
  const std::string name = stored.path.filename().string();
  if (!stored.Usable()) return name + "  cannot be used: " + stored.Why();
  const state::RecoveryRecord& r = stored.record;
  std::string state = PhaseText(r);
  // A finished update waits in backups/, an unfinished one in recovery/.
  if (stored.path.parent_path().filename() == "backups" && r.kind == state::RecordKind::Update)
    state = "finished update";
  return name + "  " + state::TimeText(r.writtenAt) + "  " + PanelText(r) + "  " + state;
}

int ListRecords(const state::RecordStore& store, std::ostream& out, std::ostream& err) {
  os::Failure failure;
  if (store.Dir(state::Folder::Recovery, failure).empty()) {
    err << "tavrino-cli: no folder for recovery records: " << failure << "\n";
    return 8;
  }
  for (const state::Folder folder : {state::Folder::Recovery, state::Folder::Backups}) {
    out << (folder == state::Folder::Recovery ? "Unfinished updates" : "Settings backups") << " in "
        << store.Dir(folder, failure).string() << ":\n";
    const auto records = store.List(folder);
    if (records.empty()) out << "  none\n";
    for (const auto& stored : records) out << "  " << RecordLine(stored) << "\n";
  }
  return 0;
}

}  // namespace tavrino::cli
