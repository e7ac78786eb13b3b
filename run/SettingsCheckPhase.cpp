// SPDX-License-Identifier: GPL-2.0-or-later
// The settings check as a step of a run: its line, its keypad text, and how it ends the run.
#include "frontend/Texts.h"
#include "run/UpdateRun.h"

namespace tavrino {

WrittenSettings UpdateRun::WrittenThisRun() const {
  WrittenSettings written;
  // The record holds exactly what the run's steps wrote: it is written before each of them.
  if (ctx_.verdict.recoverData) written.sector6 = record_.sector6Written;
  if (SettingsMemoriesDue()) written.memories = record_.memoriesWritten;
  written.erasesSector6 = ErasesSector6();
  return written;
}

bool UpdateRun::SettingsChecking(const WrittenSettings& written) {
  if (written.sector6.empty() && written.memories.empty()) return true;
  Add("Settings check:");
  Keypad("Settings check  ", true);
  SettingsCheck check(
      starter_, [this] { return host_.Stopped(); },
      [this](int32_t done, int32_t total) { Progress(done, total); });
  const SettingsCheckResult result = check.Run(written);
  using Check = SettingsCheckResult::End;
  switch (result.end) {
    case Check::Same:
      Status(result.rewritten ? "ok (written again)" : texts::kOk);
      return true;
    case Check::Differs:
      break;
    case Check::NoAnswer:
      return End(Outcome::NoConnection, texts::kNoConnection);
    case Check::Refused:
      return End(Outcome::PanelRefused, texts::kBlad);
    case Check::Stopped:
      // Not everything was compared: never "  ok".
      return End(Outcome::Stopped, texts::kNoConnection);
  }
  // The error goes to the keypad also in an unattended run: the technician is at the panel.
  Keypad(result.keypad);
  Status(texts::kBlad + " " + result.where);
  Add("The panel did not keep the settings written into it.");
  Add("They stay on this computer in the recovery record.");
  return EndQuietly(Outcome::SettingsDiffer);
}

}  // namespace tavrino
