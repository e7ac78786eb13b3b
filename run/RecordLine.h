// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include "frontend/Host.h"
#include "state/RecordStore.h"

namespace tavrino {

// The line of a record file that cannot be used ("Record 20261210-135500-00.tavrec:" and
// why), within the log's columns: a name too long for the line gives way to "Record:" and
// the reason stays. The whole path and reason go to the run report and standard error. The
// reason is the record's own (why it could not be read) unless one is given.
void SayUnusableRecord(Host& host, const state::StoredRecord& stored,
                       const std::string& reason = {});

}  // namespace tavrino
