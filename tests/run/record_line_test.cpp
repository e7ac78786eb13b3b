// SPDX-License-Identifier: GPL-2.0-or-later
// A record file that cannot be used is named with its reason on one line of the log's
// columns; a name too long for it gives way, never the reason, and the whole path goes with
// the line in full.
#include <gtest/gtest.h>

#include "frontend/StatusLog.h"
#include "run/RecordLine.h"
#include "support/ScriptedFrontEnd.h"

namespace tavrino::test {
namespace {

struct RecordLineCase {
  const char* name;
  std::string file;
  state::RecordProblem problem;
  std::string readFailure;  // {path}: the file's path
  std::string line;
  std::string inFull;  // {path}: the file's path
};

const std::string kDir = "/home/technician/.local/state/tavrino/recovery/";

// clang-format off
const RecordLineCase kCases[] = {
    {"NameAndReasonFit", "20261210-135500-00.tavrec", state::RecordProblem::ChecksumWrong, "",
     "Record 20261210-135500-00.tavrec:            checksum wrong",
     "Record {path}: checksum wrong"},
    {"ASystemReasonWithoutThePath", "20261210-135500-00.tavrec", state::RecordProblem::None,
     "cannot open {path}: Permission denied",
     "Record 20261210-135500-00.tavrec:         Permission denied",
     "Record {path}: Permission denied"},
    {"ALongNameGivesWay", "copied-from-the-laptop-of-the-other-technician.tavrec",
     state::RecordProblem::NotARecord, "",
     "Record:                                        not a record",
     "Record {path}: not a record"},
};
// clang-format on

class UnusableRecordLine : public ::testing::TestWithParam<RecordLineCase> {};

TEST_P(UnusableRecordLine, FitsTheLogAndIsGivenInFull) {
  const RecordLineCase& c = GetParam();
  const std::string path = kDir + c.file;
  const auto withPath = [&path](std::string text) {
    if (const size_t at = text.find("{path}"); at != std::string::npos) text.replace(at, 6, path);
    return text;
  };
  FakeClock clock(0);
  ScriptedFrontEnd ui;
  StatusLog log;
  Host host(clock, ui, log);
  state::StoredRecord stored;
  stored.path = path;
  stored.problem = c.problem;
  stored.readFailure = withPath(c.readFailure);

  SayUnusableRecord(host, stored);
  ASSERT_EQ(log.History().size(), 1u);
  EXPECT_EQ(log.History()[0], c.line);
  EXPECT_EQ(ui.inFull, std::vector<std::string>{withPath(c.inFull)});
}

INSTANTIATE_TEST_SUITE_P(Run, UnusableRecordLine, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrino::test
