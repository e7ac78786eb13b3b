// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/RecordLine.h"

#include "frontend/StatusLines.h"
#include "frontend/Texts.h"

namespace tavrino {

void SayUnusableRecord(Host& host, const state::StoredRecord& stored) {
  const std::string reason = state::ShortReason(stored.Why());
  std::string label = "Record " + stored.path.filename().string() + ":";
  if (!FitsLine(host.log, label, reason)) label = "Record:";
  host.log.KTadd(label);
  host.log.KTstatus(reason, texts::kStatusWidth);
  host.ui.LineInFull("Record " + stored.path.string() + ": " + reason);
}

}  // namespace tavrino
