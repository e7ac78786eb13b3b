// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/RecordLine.h"

#include "frontend/StatusLines.h"
#include "frontend/Texts.h"

namespace tavrino {

void SayUnusableRecord(Host& host, const state::StoredRecord& stored, const std::string& given) {
  const std::string reason = given.empty() ? state::ShortReason(stored.Why()) : given;
  std::string label = "Record " + stored.path.filename().string() + ":";
  if (!FitsLine(host.log, label, reason)) label = "Record:";
  host.log.AddLine(label);
  host.log.SetStatus(reason, texts::kStatusWidth);
  host.ui.LineInFull("Record " + stored.path.string() + ": " + reason);
}

}  // namespace tavrino
