// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The backups command: the recovery records and settings backups kept on this computer,
// one line each, saying whose they are and in what state, never what they hold.
#include <ostream>
#include <string>

#include "state/RecordStore.h"

namespace tavrino::cli {

// "20261210-135530-00.tavrec  2026-12-10 13:55  AMD Am29F040, 1.03.05 pol, data 103
// unfinished: settings memories", or for a file that cannot be used its name and why.
std::string RecordLine(const state::StoredRecord& stored);

// Lists recovery/ then backups/ of the store; 0, or 8 when the state folder is unknown.
int ListRecords(const state::RecordStore& store, std::ostream& out, std::ostream& err);

}  // namespace tavrino::cli
