// SPDX-License-Identifier: GPL-2.0-or-later
// The status lines handed on as they finish, and what a line had no room for right after it.
#include <gtest/gtest.h>

#include "frontend/StatusLines.h"
#include "frontend/StatusLog.h"

namespace tavrino {
namespace {

// Records what the display shows and what the tap hands on, in one sequence.
struct Recorder : StatusLogView {
  std::vector<std::string> seen;
  void LogChanged(const StatusLog& log, Change change) override {
    if (change == Change::Added)
      seen.push_back("view: " + StatusLog::Trimmed(log.Line(log.CurrentLine())));
  }
};

TEST(StatusLineTap, WhatALineHadNoRoomForFollowsItsLineAndTheView) {
  StatusLog log(30, 5);
  Recorder view;
  StatusLineTap tap(
      &view, [&](const std::string& line) { view.seen.push_back("line: " + line); },
      [&](const std::string& text) { view.seen.push_back("full: " + text); });
  log.SetView(&tap);

  tap.InFull("before any line");  // nothing open: handed on at once
  log.AddLine("Record:");
  tap.InFull("Record /a/long/path: checksum wrong");
  log.SetStatus("checksum wrong", 4);  // the line may still change after its text in full
  log.AddLine("Next:");
  tap.Flush();
  tap.InFull("after the last line");

  EXPECT_EQ(view.seen,
            (std::vector<std::string>{"full: before any line",
                                      "view: Record:", "line: Record:         checksum wrong",
                                      "view: Next:", "full: Record /a/long/path: checksum wrong",
                                      "line: Next:", "full: after the last line"}));
}

TEST(StatusLineTap, FitsLineCountsTheBlankBetweenLabelAndStatus) {
  const StatusLog log(20, 1);
  EXPECT_TRUE(FitsLine(log, std::string(20, 'x')));
  EXPECT_FALSE(FitsLine(log, std::string(21, 'x')));
  EXPECT_TRUE(FitsLine(log, std::string(10, 'x'), std::string(9, 'y')));
  EXPECT_FALSE(FitsLine(log, std::string(10, 'x'), std::string(10, 'y')));
}

}  // namespace
}  // namespace tavrino
