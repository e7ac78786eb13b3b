// SPDX-License-Identifier: GPL-2.0-or-later
// Replacing the panel's Starter: the questions, the updater image written to the panel,
// the restart into the updater, its handshake, and the reconnection to the new Starter.
#include <gtest/gtest.h>

#include <functional>

#include "frontend/Texts.h"
#include "link/FlashChip.h"
#include "link/StarterRig.h"

namespace tavrino::test {
namespace {

const char* const kAskVersion = "Update starter to version  3.1 eng  ?";
const char* const kAskSupply =
    "Update starter ?\n\nIf you want to press 'Yes', make sure that there will be\n"
    "no interrupt in AC and DC panel supply.";
const char* const kAskOutputs =
    "For the updating time\nOUT1..OUT8, +KPD, +EX1 and +EX2 outputs will be switched off.\n\n"
    "Continue ?";
const char* const kTryAgain = "Errors - try again.";
const char* const kLabel = "Starter updater loading:";

// A panel with an old Starter, reached at 9600 bit/s in the second handshake variant.
struct UpdateRig : StarterRig {
  explicit UpdateRig(uint8_t flashType = 2) : StarterRig(OldStarter(flashType), 3) {
    EXPECT_EQ(starter().ConnectStarter(false), Handshake::Connected);
    trace.sent.clear();
    connectRequests = Requests().size();
  }
  static sim::PanelConfig OldStarter(uint8_t flashType) {
    sim::PanelConfig c;
    c.flashType = flashType;
    c.starterVersion = 0x30;
    return c;
  }
  UpdateResult Update(bool unattended) {
    return core.starterUpdate.UpdateStarter(panel.Config().flashType, false, unattended,
                                            forceProgram, [this] { return recordKept; });
  }
  bool LineEndsWith(const std::string& status) const { return LineOf(kLabel).ends_with(status); }

  bool forceProgram = false;
  bool recordKept = true;      // what the host says when asked to record the update
  size_t connectRequests = 0;  // the handshake before the update
};

class UpdateEachChip : public testing::TestWithParam<uint8_t> {};

TEST_P(UpdateEachChip, WritesTheImageRestartsIntoTheUpdaterAndReconnectsToTheNewStarter) {
  const uint8_t type = GetParam();
  UpdateRig rig(type);
  EXPECT_EQ(rig.Update(/*unattended=*/true), UpdateResult::Updated);
  EXPECT_TRUE(rig.forceProgram);
  EXPECT_TRUE(rig.ui.boxes.empty()) << "no box in an unattended run";
  EXPECT_TRUE(rig.LineEndsWith(texts::kOk)) << rig.LineOf(kLabel);

  // Only the chips that cannot rewrite a page in place get sector 0 erased, first.
  const bool erases = type == 2 || type == 5 || type == 6;
  if (erases) {
    EXPECT_EQ(rig.Requests().at(rig.connectRequests), (Bytes{0x66, 0x00, 0x66, 0x66}));
  }
  EXPECT_EQ(rig.RequestsWithCode(kErase).size(), erases ? 1u : 0u);

  const auto writes = rig.RequestsWithCode(kWrite);
  ASSERT_EQ(writes.size(), 33u);
  Bytes written;
  for (size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(writes[i][1], i) << "block " << i << " at 0x" << std::hex << i * 256;
    EXPECT_EQ(writes[i][2], 0);
    written.insert(written.end(), writes[i].begin() + 3, writes[i].end());
  }
  const Bytes image = TestUpdaterImage(type);
  EXPECT_EQ(written, image);
  EXPECT_EQ(written.back(), 0xFF) << "ends with the image's fill";
  auto& flash = rig.panel.Flash();
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + kUpdaterImageSize), image);

  // The updater installed Starter 3.1 eng, and the link is live to it.
  EXPECT_EQ(rig.panel.RestartCount(), 1u);
  EXPECT_TRUE(rig.panel.StarterChecksumGood());
  EXPECT_EQ(rig.panel.CurrentMode(), sim::SimulatedPanel::Mode::Starter);
  ASSERT_TRUE(rig.starter().IdentifyStarter());
  EXPECT_EQ(rig.core.link.AnswerData(1), 0x31);
  EXPECT_EQ(rig.trace.SpeedsOf(kUpdaterHandshake), (std::vector<uint32_t>{19200}));
}

INSTANTIATE_TEST_SUITE_P(Chips, UpdateEachChip, testing::Values(1, 2, 4, 5, 6),
                         [](const auto& info) {
                           return std::string(FindFlashChip(info.param)->updaterChip);
                         });

TEST(UpdateStarter, UpdaterHeardOnlyAt9600AnswersTheSecondHandshake) {
  UpdateRig rig;
  rig.panel.Config().updaterOnly9600 = true;
  EXPECT_EQ(rig.Update(true), UpdateResult::Updated);
  EXPECT_EQ(rig.trace.SpeedsOf(kUpdaterHandshake), (std::vector<uint32_t>{19200, 9600}));
  EXPECT_TRUE(rig.panel.StarterChecksumGood());
}

struct QuestionCase {
  std::deque<bool> answers;
  UpdateResult result;
  size_t writes;
};

TEST(UpdateStarter, AsksItsThreeQuestionsAndStopsAtTheFirstNo) {
  const QuestionCase cases[] = {
      {{false}, UpdateResult::Declined, 0},
      {{true, false}, UpdateResult::Declined, 33},
      {{true, true, false}, UpdateResult::Declined, 33},
      {{true, true, true}, UpdateResult::Updated, 33},
  };
  const std::vector<std::string> questions = {kAskVersion, kAskSupply, kAskOutputs};
  for (const QuestionCase& c : cases) {
    SCOPED_TRACE(c.answers.size());
    UpdateRig rig;
    rig.ui.answers = c.answers;
    EXPECT_EQ(rig.Update(false), c.result);
    EXPECT_EQ(rig.ui.BoxTexts(),
              std::vector<std::string>(questions.begin(), questions.begin() + c.answers.size()));
    EXPECT_EQ(rig.RequestsWithCode(kWrite).size(), c.writes);
    EXPECT_EQ(rig.panel.RestartCount(), c.result == UpdateResult::Updated ? 1u : 0u);
    EXPECT_EQ(rig.forceProgram, c.result == UpdateResult::Updated);
    EXPECT_EQ(rig.LineOf(kLabel).empty(), c.writes == 0) << "the line opens after the first Yes";
  }
}

// The host must have recorded the update before sector 0 is touched; a record it cannot
// keep stops the update before the first erase or write.
TEST(UpdateStarter, NothingIsErasedOrWrittenWithoutTheRecord) {
  UpdateRig rig;
  rig.recordKept = false;
  EXPECT_EQ(rig.Update(true), UpdateResult::NotRecorded);
  EXPECT_EQ(rig.Requests().size(), rig.connectRequests);
  EXPECT_FALSE(rig.forceProgram);
  EXPECT_TRUE(rig.LineOf(kLabel).empty());
}

struct FailureCase {
  const char* name;
  std::function<void(UpdateRig&)> fault;
  UpdateResult result;
  bool triedAgainBox;  // failed after the restart: the box asks to try again
};

class UpdateFailures : public testing::TestWithParam<FailureCase> {};

TEST_P(UpdateFailures, ReportFailureOnTheLineAndNeverForceAProgramRun) {
  const FailureCase& c = GetParam();
  for (bool unattended : {false, true}) {
    SCOPED_TRACE(unattended);
    UpdateRig rig;
    c.fault(rig);
    EXPECT_EQ(rig.Update(unattended), c.result);
    EXPECT_FALSE(rig.forceProgram);
    const std::string status =
        c.result == UpdateResult::FailedNoAnswer ? texts::kNoConnection : texts::kBlad;
    EXPECT_TRUE(rig.LineEndsWith(status)) << rig.LineOf(kLabel);
    std::vector<std::string> boxes;
    if (!unattended) {
      boxes = {kAskVersion};
      if (c.triedAgainBox) boxes.insert(boxes.end(), {kAskSupply, kAskOutputs, kTryAgain});
    }
    EXPECT_EQ(rig.ui.BoxTexts(), boxes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateFailures,
    testing::Values(
        FailureCase{"EraseRefused", [](UpdateRig& r) { r.faults().refuseCommands = {kErase}; },
                    UpdateResult::FailedRefused, false},
        FailureCase{"EraseUnanswered", [](UpdateRig& r) { r.faults().silentCommands = {kErase}; },
                    UpdateResult::FailedRefused, false},
        FailureCase{"WriteUnanswered", [](UpdateRig& r) { r.faults().silentCommands = {kWrite}; },
                    UpdateResult::FailedNoAnswer, false},
        FailureCase{"WriteRefused", [](UpdateRig& r) { r.faults().refuseCommands = {kWrite}; },
                    UpdateResult::FailedRefused, false},
        // Nothing restarted: the old Starter still runs and no updater ever ran.
        FailureCase{"RestartHandshakeUnanswered",
                    [](UpdateRig& r) {
                      r.faults().silentCommands = {kSyncFirst, kSyncSecond};
                    },
                    UpdateResult::FailedRefused, true},
        FailureCase{"UpdaterNeverAnswers",
                    [](UpdateRig& r) { r.faults().silentCommands = {kUpdaterHandshake}; },
                    UpdateResult::FailedRefused, true},
        // Erase, 33 writes, the restart's handshake and request, the updater's handshake:
        // then the new Starter stays silent.
        FailureCase{
            "NewStarterNeverAnswers",
            [](UpdateRig& r) { r.faults().silentAfterFrames = r.panel.RequestCount() + 37; },
            UpdateResult::FailedRefused, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateStarter, AttemptLimitsForTheUpdaterAndTheNewStarter) {
  UpdateRig updater;
  updater.faults().silentCommands = {kUpdaterHandshake};
  EXPECT_EQ(updater.Update(true), UpdateResult::FailedRefused);
  const auto speeds = updater.trace.SpeedsOf(kUpdaterHandshake);
  ASSERT_EQ(speeds.size(), 17u);
  for (size_t i = 0; i < speeds.size(); ++i) EXPECT_EQ(speeds[i], i % 2 ? 9600u : 19200u);

  UpdateRig starter;
  starter.faults().silentAfterFrames = starter.panel.RequestCount() + 37;
  EXPECT_EQ(starter.Update(true), UpdateResult::FailedRefused);
  EXPECT_EQ(starter.trace.SpeedsOf(kSyncFirst).size() + starter.trace.SpeedsOf(kSyncSecond).size(),
            1u + 49u)
      << "one handshake for the restart, 49 for the new Starter";
}

TEST(UpdateStarter, StopAfterTheRestartEndsInFailure) {
  UpdateRig rig;
  rig.ui.onPump = [&] {
    if (rig.panel.CommandCount(kRestart) > 0) rig.core.host.RequestStop();
  };
  EXPECT_EQ(rig.Update(true), UpdateResult::FailedRefused);
  EXPECT_FALSE(rig.forceProgram);
  EXPECT_LE(rig.trace.SpeedsOf(kUpdaterHandshake).size(), 1u);
}

}  // namespace
}  // namespace tavrino::test
