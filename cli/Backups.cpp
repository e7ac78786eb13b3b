// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/Backups.h"

#include "firmware/Version.h"
#include "frontend/Cp1250.h"
#include "link/FlashChip.h"

namespace tavrino::cli {

namespace {

std::string PhaseText(const state::RecoveryRecord& r) {
  if (r.kind == state::RecordKind::Backup) return "backup";
  if (r.kind == state::RecordKind::StarterUpdate) return "unfinished: Starter update";
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

std::string PanelText(const state::RecoveryRecord& r) {
  const FlashChip* chip = FindFlashChip(r.flashType);
  std::string text = chip ? chip->name : "flash type " + std::to_string(r.flashType);
  if (r.kind == state::RecordKind::StarterUpdate) {
    // Taken before the program's version was read: the Starter is what it names.
    const int version = r.starterVersion;
    return text + ", Starter " + std::to_string(version >> 4) + "." +
           std::to_string(version & 0x0F) + Cp1250ToUtf8(LanguageSuffix(r.starterLanguage, true));
  }
  const std::string& v = r.panelVersionRecord;
  if (v.size() == 6 && v != std::string(6, '\xFF'))
    text += ", " + Cp1250ToUtf8(VersionText(v.substr(0, 5), static_cast<uint8_t>(v[5])));
  else
    text += ", no program";
  if (!r.dataCode.empty()) text += ", data " + Cp1250ToUtf8(r.dataCode);
  return text;
}

}  // namespace

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
