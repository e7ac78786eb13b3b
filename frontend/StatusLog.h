// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrino {

class StatusLog;

// A view renders the log; the desktop widget repaints synchronously, the terminal prints.
class StatusLogView {
 public:
  enum class Change { Cleared, Added, Status, Progress };
  virtual ~StatusLogView() = default;
  // Called after every change that the display must show at once.
  virtual void LogChanged(const StatusLog& log, Change change) = 0;
};

// The Qt-free model of the status display: a grid of ColumnCount x RowCount single-byte
// lines, the current line, the last percentage and the application title.
class StatusLog {
 public:
  static constexpr int kMaxColumns = 255;
  static constexpr int kMaxRows = 256;
  // The display as the desktop window first draws it, and as the text front end keeps it.
  static constexpr int kColumns = 59;
  static constexpr int kRows = 11;

  explicit StatusLog(int columns = kColumns, int rows = kRows);

  // The view measures the cell and tells how many columns and rows fit; clamped to
  // 1..255 and 1..256. Takes effect now and at every Clear.
  void SetGeometry(int columns, int rows);
  void SetView(StatusLogView* view) { view_ = view; }
  // The main window's caption, the first part of every title ("Tavrino").
  void SetCaption(const std::string& caption);

  void Clear();
  void AddLine(const std::string& label);
  void SetStatus(const std::string& text, int32_t minWidth);
  void ShowProgress(int32_t value, int32_t total, int32_t minStep);

  int ColumnCount() const { return columns_; }
  int RowCount() const { return rows_; }
  int CurrentLine() const { return current_; }
  int ProgressPercent() const { return progressPercent_; }
  // The percentage whose inverting mark is on the current line now, or -1 when none.
  int ProgressMark() const { return progressMark_; }
  // Line i, 1-based (1..RowCount); an empty string for a line not written.
  const std::string& Line(int i) const;
  const std::string& Title() const { return title_; }

  // Every line ever added, as it stands now (lines that scrolled off the grid included),
  // so tests and the terminal front end can read the whole log of a run.
  const std::vector<std::string>& History() const { return history_; }
  // The text of history line k with trailing blanks removed.
  static std::string Trimmed(const std::string& line);

 private:
  void Notify(StatusLogView::Change change);

  int columns_;
  int rows_;
  int current_ = 0;
  int progressPercent_ = -100;
  int progressMark_ = -1;
  std::vector<std::string> lines_;  // index 0..RowCount-1 is line 1..RowCount
  std::vector<std::string> history_;
  std::string caption_ = "Tavrino";
  std::string title_ = "Tavrino";
  StatusLogView* view_ = nullptr;
};

}  // namespace tavrino
