// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include "frontend/Cp1250.h"
#include "frontend/StatusLog.h"
#include "frontend/Texts.h"

namespace tavrino {
namespace {

std::string Pad(const std::string& s, size_t n) {
  return s + std::string(n - s.size(), ' ');
}

TEST(StatusLog, StepPlacesLabelPercentageAndStatusAtTheLineEnd) {
  StatusLog log(59, 11);
  log.AddLine("FLASH programing:");
  EXPECT_EQ(log.Line(1), Pad("FLASH programing:", 59));
  EXPECT_EQ(log.Title(), "Tavrino - FLASH programing");

  log.ShowProgress(42, 0, 1);
  EXPECT_EQ(log.Line(1).substr(56), "42%");
  EXPECT_EQ(log.Line(1).size(), 59u);
  EXPECT_EQ(log.Title(), "Tavrino - 42% - FLASH programing");
  EXPECT_EQ(log.ProgressMark(), 42);

  log.SetStatus("ok", 4);
  EXPECT_EQ(log.Line(1).substr(55), "  ok");
  EXPECT_EQ(log.Title(), "Tavrino");
  EXPECT_EQ(log.ProgressMark(), -1);
}

TEST(StatusLog, ProgressTableWithMinimumStepOne) {
  struct Row {
    int32_t value, total;
    const char* lineEnd;
  };
  // Each row follows the one before on the same line.
  const Row rows[] = {
      {5, 10, " 50%"}, {4, 10, " 50%"}, {45, 0, " 50%"}, {150, 0, "100%"}, {-3, 0, "100%"}};
  StatusLog log(59, 11);
  log.AddLine("Verification:");
  for (const auto& r : rows) {
    log.ShowProgress(r.value, r.total, 1);
    EXPECT_EQ(log.Line(1).substr(55), r.lineEnd) << r.value << "," << r.total;
  }
  // Values that fall are not drawn; a clamped negative value is drawn only as the first call.
  log.AddLine("Next:");
  log.ShowProgress(-3, 0, 1);
  EXPECT_EQ(log.Line(2).substr(57), "0%");
  log.AddLine("Total zero:");
  log.ShowProgress(45, 0, 1);
  EXPECT_EQ(log.Line(3).substr(56), "45%");
}

TEST(StatusLog, StatusWidthDecidesHowMuchOfThePercentageIsCovered) {
  StatusLog log(59, 11);
  log.AddLine("A:");
  log.ShowProgress(100, 0, 1);
  log.SetStatus("ok", 0);
  EXPECT_EQ(log.Line(1).substr(55), "10ok");
  log.AddLine("B:");
  log.ShowProgress(100, 0, 1);
  log.SetStatus("ok", 4);
  EXPECT_EQ(log.Line(2).substr(55), "  ok");
  // A long status overwrites the end of the label; a status is cut at the line width.
  log.AddLine("Connecting:");
  log.SetStatus(texts::kNoConnection, 4);
  EXPECT_EQ(log.Line(3), Pad("Connecting:", 59 - 18) + texts::kNoConnection);
  log.AddLine("X");
  log.SetStatus(std::string(70, 'e'), 4);
  EXPECT_EQ(log.Line(4), std::string(59, 'e'));
}

TEST(StatusLog, CallsOnAnEmptyDisplayChangeNothing) {
  StatusLog log(59, 11);
  log.AddLine("Old:");
  log.Clear();
  const std::string title = log.Title();
  log.SetStatus("  ok", 4);
  log.ShowProgress(50, 100, 1);
  EXPECT_EQ(log.CurrentLine(), 0);
  EXPECT_EQ(log.Line(1), "");
  EXPECT_EQ(log.Title(), title);
}

TEST(StatusLog, AFullGridScrollsUpAndKeepsTheHistory) {
  StatusLog log(20, 3);
  for (int i = 1; i <= 4; ++i) log.AddLine('L' + std::to_string(i));
  EXPECT_EQ(log.CurrentLine(), 3);
  EXPECT_EQ(StatusLog::Trimmed(log.Line(1)), "L2");
  EXPECT_EQ(StatusLog::Trimmed(log.Line(3)), "L4");
  ASSERT_EQ(log.History().size(), 4u);
  EXPECT_EQ(StatusLog::Trimmed(log.History()[0]), "L1");
  log.SetStatus("ok", 4);
  EXPECT_EQ(StatusLog::Trimmed(log.History()[3]), "L4                ok");
}

TEST(StatusLog, LabelsAndTitles) {
  StatusLog log(10, 3);
  // Exactly ColumnCount characters: unchanged.
  log.AddLine("0123456789");
  EXPECT_EQ(log.Line(1), "0123456789");
  // Longer: cut on the line, but the title comes from the whole label.
  log.AddLine("Long label: with more");
  EXPECT_EQ(log.Line(2), "Long label");
  EXPECT_EQ(log.Title(), "Tavrino - Long label");
  // Without a colon the title ends in the padding spaces.
  log.AddLine("Plain");
  EXPECT_EQ(log.Title(), "Tavrino - Plain     ");
}

TEST(StatusLog, GeometryIsClampedToTheLineTypeLimits) {
  StatusLog log(1000, 1000);
  EXPECT_EQ(log.ColumnCount(), 255);
  EXPECT_EQ(log.RowCount(), 256);
  log.SetGeometry(0, 0);
  EXPECT_EQ(log.ColumnCount(), 1);
  EXPECT_EQ(log.RowCount(), 1);
}

TEST(Cp1250, DecodesThePolishStatusWords) {
  EXPECT_EQ(Cp1250ToUtf8(texts::kBlad), "B\u0141\u0104D");
  EXPECT_EQ(Cp1250ToUtf8(texts::kNoConnection), "BRAK po\u0142\u0105czenia RS");
  EXPECT_EQ(texts::kBlad, std::string("\x42\xA3\xA5\x44"));
}

}  // namespace
}  // namespace tavrino
