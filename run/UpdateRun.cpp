// SPDX-License-Identifier: GPL-2.0-or-later
#include "run/UpdateRun.h"

#include <algorithm>

#include "frontend/Texts.h"
#include "run/RunTexts.h"

namespace tavrino {

Outcome UpdateRun::Perform(const RunSwitches& switches) {
  ctx_.switches = switches;
  const Outcome outcome = Road();
  if (host_.Stopped()) Add(texts::kStoppedByUser);
  // A failed verification says "Try again." already, a failed settings check what it kept.
  if (!Completed(outcome) && outcome != Outcome::VerificationFailed &&
      outcome != Outcome::SettingsDiffer)
    SayWhatWasLeft();
  // A stopped run ends through whatever step noticed the Stop first; the caller must see
  // the Stop, not that step's failure (nor a success the Stop cut short).
  return host_.Stopped() ? Outcome::Stopped : outcome;
}

Outcome UpdateRun::Road() {
  if (!OpenFileAndPort() || !Connecting() || !Identification()) return end_;
  GreetKeypad();
  if (ctx_.switches.write && !UnfinishedUpdate()) return end_;
  if (ctx_.switches.compare && !ProgramsComparison()) return end_;
  if (ctx_.switches.write && !ctx_.verdict.sameProgram) {
    if (!AskContinue() || !RecordBeforeChanges() || !Erasing() || !Programming()) return end_;
    if (ctx_.verdict.recoverData && !DataRecovering()) return end_;
    if (SettingsMemoriesDue() && !DataConversion()) return end_;
    if (ctx_.switches.checkSettings && !SettingsChecking(WrittenThisRun())) return end_;
  }
  if (!ctx_.verdict.sameProgram && !Verification()) return end_;
  RetireRecord();
  return ctx_.switches.write ? Restarting() : ComparisonEnd();
}

void UpdateRun::Add(const std::string& label) {
  host_.log.AddLine(label);
}

void UpdateRun::Status(const std::string& text) {
  host_.log.SetStatus(text, texts::kStatusWidth);
}

void UpdateRun::Progress(int32_t value, int32_t total) {
  host_.log.ShowProgress(value, total, texts::kProgressStep);
}

void UpdateRun::Keypad(const std::string& lower, bool banner) {
  starter_.ShowPanelText("", lower, banner);
}

void UpdateRun::KeypadProgress(const std::string& label, int32_t percent, int32_t& nextStep,
                               int32_t stepSize) {
  // The technician at the keypad sees coarse steps only; each text is one more exchange.
  if (ctx_.switches.unattended || percent < nextStep) return;
  Keypad(KeypadPercent(label, percent));
  nextStep = std::min(nextStep + stepSize, 100);
}

bool UpdateRun::Ask(const std::string& question) {
  return host_.ui.AskUser(question, false);
}

bool UpdateRun::End(Outcome outcome, const std::string& status) {
  // A panel lost because the port itself went away: the port, not the panel, needs seeing
  // to, and the line and the outcome say so.
  if (outcome == Outcome::NoConnection && link_.LineGone()) {
    Status(texts::kPortGone);
    end_ = Outcome::PortNotOpened;
    return false;
  }
  Status(status);
  end_ = outcome;
  return false;
}

bool UpdateRun::EndQuietly(Outcome outcome) {
  end_ = outcome;
  return false;
}

bool UpdateRun::FlashResult(FlashStatus result) {
  switch (result) {
    case FlashStatus::Done:
      return true;
    case FlashStatus::NoAnswer:
    case FlashStatus::PortLost:  // End tells the port's loss from the panel's silence
      return End(Outcome::NoConnection, texts::kNoConnection);
    case FlashStatus::Refused:
      break;
  }
  return End(Outcome::PanelRefused, texts::kBlad);
}

bool UpdateRun::EndIfStopped(const std::string& status) {
  if (!host_.Stopped()) return true;
  return End(Outcome::Stopped, status);
}

}  // namespace tavrino
