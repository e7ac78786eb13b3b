// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The backups command: the recovery records and settings backups kept on this computer,
// one line each, saying whose they are and in what state, never what they hold.
#include <filesystem>
#include <ostream>
#include <string>

#include "state/RecordStore.h"

namespace tavrino::cli {

// "20261210-135530-00.tavrec  2026-12-10 13:55  AMD Am29F040, 1.03.05 pol, data 103
// unfinished: settings memories", or for a file that cannot be used its name and why.
std::string RecordLine(const state::StoredRecord& stored);

// Lists recovery/ then backups/ of the store; 0, or 8 when the state folder is unknown.
int ListRecords(const state::RecordStore& store, std::ostream& out, std::ostream& err);

// What one record or backup file holds, a fact a line: kind, time, panel, data code, the
// images it carries, whether a restore can take it and its checksum state; never the
// settings themselves.
std::string RecordDescription(const state::StoredRecord& stored);
// Describes the file; 0, or 2 when it cannot be used (it is named with the reason).
int ShowRecord(const std::filesystem::path& file, std::ostream& out);

}  // namespace tavrino::cli
