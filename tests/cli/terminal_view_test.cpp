// SPDX-License-Identifier: GPL-2.0-or-later
#include <gtest/gtest.h>

#include <sstream>

#include "cli/Terminal.h"
#include "cli/TerminalView.h"
#include "frontend/Cp1250.h"
#include "frontend/StatusLog.h"
#include "frontend/Texts.h"

namespace tavrino::cli {
namespace {

// A log of 59 columns as the desktop's, rendered to a string.
struct Rendered {
  explicit Rendered(bool tty, bool titles = false)
      : term(out, tty, titles), view(term), log(59, 11) {
    log.SetView(&view);
  }
  std::ostringstream out;
  Terminal term;
  TerminalView view;
  StatusLog log;
};

// A closed line as printed: label and status in 59 single-byte columns, then decoded.
std::string Padded(const std::string& label, const std::string& status) {
  return Cp1250ToUtf8(label + std::string(59 - label.size() - status.size(), ' ') + status);
}

TEST(TerminalView, WithoutTerminalPrintsEachLineOnceWhenItCloses) {
  Rendered r(false);
  r.log.AddLine("Connecting:");
  EXPECT_EQ(r.out.str(), "");  // still open
  r.log.SetStatus(texts::kOk, texts::kStatusWidth);
  r.log.AddLine("FLASH programing:");
  r.log.ShowProgress(21, 42, texts::kProgressStep);
  r.log.ShowProgress(42, 42, texts::kProgressStep);
  r.log.SetStatus(texts::kBlad, texts::kStatusWidth);
  r.log.AddLine("Verification:");
  r.log.ShowProgress(7, 100, texts::kProgressStep);
  r.log.AddLine("Try again.");  // closes the line above with its percentage
  r.view.Finish();
  EXPECT_EQ(r.out.str(), Padded("Connecting:", "  ok") + "\n" +
                             Padded("FLASH programing:", texts::kBlad) + "\n" +
                             Padded("Verification:", "7%") + "\n" + "Try again.\n");
}

TEST(TerminalView, WithoutTerminalPrintsALineAgainForASecondStatusAndBeforeAClear) {
  Rendered r(false);
  r.log.AddLine("FLASH type:");
  r.log.SetStatus("waiting...", texts::kStatusWidth);
  r.log.SetStatus(texts::kNoConnection, texts::kStatusWidth);
  r.log.AddLine("File checking:");
  r.log.Clear();  // the open line is printed before the log empties
  r.log.SetStatus(texts::kOk, texts::kStatusWidth);  // nothing open: nothing printed
  r.view.Finish();
  EXPECT_EQ(r.out.str(), Padded("FLASH type:", "waiting...") + "\n" +
                             Padded("FLASH type:", texts::kNoConnection) + "\n" +
                             "File checking:\n");
}

TEST(TerminalView, OnATerminalRedrawsTheOpenLineWithItsPercentageAndMark) {
  Rendered r(true);
  r.log.AddLine("FLASH erasing:");
  r.log.ShowProgress(50, 100, texts::kProgressStep);
  r.log.SetStatus(texts::kOk, texts::kStatusWidth);
  r.log.AddLine("Verification:");
  r.view.Finish();
  const std::string s = r.out.str();
  const std::string erasing50 = Padded("FLASH erasing:", "50%");
  // The half not yet done (from column 29 of 59) in inverse video, then the line closed
  // in place, and a new line only when the next step opens.
  EXPECT_NE(
      s.find('\r' + erasing50.substr(0, 29) + "\x1b[7m" + erasing50.substr(29) + "\x1b[27m\x1b[K"),
      std::string::npos);
  EXPECT_NE(
      s.find('\r' + Padded("FLASH erasing:", "  ok") + "\x1b[K\n\r" + Padded("Verification:", "")),
      std::string::npos);
  EXPECT_EQ(s.back(), '\n');
  EXPECT_EQ(s.find("\x1b]0;"), std::string::npos);  // titles were not asked for
}

TEST(TerminalView, OnATerminalKeepsTheTitleInStepAndGivesItBack) {
  Rendered r(true, true);
  r.log.AddLine("FLASH erasing:");
  r.log.ShowProgress(50, 100, texts::kProgressStep);
  r.log.SetStatus(texts::kOk, texts::kStatusWidth);
  r.view.Finish();
  const std::string s = r.out.str();
  const size_t pushed = s.find("\x1b[22;0t");
  const size_t label = s.find("\x1b]0;Tavrino - FLASH erasing\a");
  const size_t progress = s.find("\x1b]0;Tavrino - 50% - FLASH erasing\a");
  const size_t plain = s.find("\x1b]0;Tavrino\a");
  const size_t restored = s.find("\x1b[23;0t");
  EXPECT_LT(pushed, label);
  EXPECT_LT(label, progress);
  EXPECT_LT(progress, plain);
  EXPECT_LT(plain, restored);
  EXPECT_NE(restored, std::string::npos);

  Rendered padded(true, true);
  padded.log.AddLine("Restarting panel");
  EXPECT_NE(padded.out.str().find("\x1b]0;Tavrino - Restarting panel\a"), std::string::npos)
      << "no blanks in the title";
}

TEST(TerminalView, OnATerminalMessagesGoAboveAnOpenLineAndBelowAClosedOne) {
  Rendered r(true);
  r.log.AddLine("Restarting panel");
  r.term.PrintMessage("Wait...");
  r.log.SetStatus(texts::kOk, texts::kStatusWidth);
  r.term.PrintMessage("Updating ok.");
  r.view.Finish();
  const std::string open = '\r' + Padded("Restarting panel", "") + "\x1b[K";
  const std::string s = r.out.str();
  // Erase the open line, print the message, draw the open line again.
  EXPECT_NE(s.find(open + "\r\x1b[KWait...\n" + open), std::string::npos);
  // A closed line stays; the message starts below it and nothing is redrawn after it.
  EXPECT_NE(s.find(Padded("Restarting panel", "  ok") + "\x1b[K\nUpdating ok.\n"),
            std::string::npos);
  EXPECT_EQ(s.find("Updating ok.\n\r"), std::string::npos);
}

}  // namespace
}  // namespace tavrino::cli
