// SPDX-License-Identifier: GPL-2.0-or-later
// The main window: its texts, its busy and idle states, Stop and Ctrl+S, the port it
// remembers or forgets, and whole commands against the simulated panel.
#include <gtest/gtest.h>

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <algorithm>

#include "UiRig.h"
#include "frontend/Texts.h"
#include "ui/FormWait.h"
#include "ui/Preference.h"

namespace tavrino::test {
namespace {

bool Has(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}
bool EndsInOk(const std::string& line) {
  return line.size() >= texts::kOk.size() &&
         line.substr(line.size() - texts::kOk.size()) == texts::kOk;
}

// What a person can reach: menus and buttons enabled or not.
struct Controls {
  bool programmingMenu, helpMenu, open, program, test, restart, stop, stopItem;
  bool operator==(const Controls&) const = default;
};
Controls Look(const ui::TFormFlash& f) {
  return {f.programmingMenu->isEnabled(), f.helpMenu->isEnabled(),  f.Bopen->isEnabled(),
          f.Bprogram->isEnabled(),        f.Btest->isEnabled(),     f.Brestart->isEnabled(),
          f.Bstop->isEnabled(),           f.stopAction->isEnabled()};
}
constexpr Controls kIdle{true, true, true, true, true, true, false, false};
constexpr Controls kBusy{false, false, false, false, false, false, true, false};

std::ostream& operator<<(std::ostream& os, const Controls& c) {
  return os << c.programmingMenu << c.helpMenu << c.open << c.program << c.test << c.restart
            << c.stop << c.stopItem;
}

class Window : public ::testing::Test {
 protected:
  WindowRig rig;
  ui::TFormFlash& form = rig.form;
};

TEST_F(Window, TextsShortcutsAndHints) {
  EXPECT_EQ(form.windowTitle(), "Tavrino");
  EXPECT_EQ(form.programmingMenu->title(), "&Programming");
  EXPECT_EQ(form.helpMenu->title(), "&Help");
  EXPECT_EQ(form.aboutAction->text(), "&About");
  EXPECT_EQ(form.stopAction->text(), "&Stop\tCtrl+S");
  EXPECT_TRUE(form.stopAction->shortcut().isEmpty()) << "Ctrl+S belongs to the window";
  const struct {
    QAction* item;
    QToolButton* button;
    const char* text;
    QKeySequence keys;
    const char* hint;
  } rows[] = {
      {form.openAction, form.Bopen, "&Open File", QKeySequence(Qt::CTRL | Qt::Key_O), "Open File"},
      {form.programAction, form.Bprogram, "&Program", QKeySequence(Qt::CTRL | Qt::Key_P),
       "Program"},
      {form.testAction, form.Btest, "&Test", QKeySequence(Qt::CTRL | Qt::Key_T), "Test"},
      {form.restartAction, form.Brestart, "&Restart", QKeySequence(Qt::CTRL | Qt::Key_R),
       "Restart"},
      {form.stopAction, form.Bstop, "&Stop\tCtrl+S", QKeySequence(), "Stop"},
      {form.exitAction, nullptr, "&Exit", QKeySequence(Qt::ALT | Qt::Key_F4), nullptr},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(r.item->text(), r.text);
    EXPECT_EQ(r.item->shortcut(), r.keys) << r.text;
    if (r.button != nullptr) {
      EXPECT_EQ(r.button->toolTip(), r.hint);
    }
  }
  EXPECT_EQ(ui::HintOf("&&Odd&"), "Odd");
  EXPECT_EQ(form.Bstop->focusPolicy(), Qt::ClickFocus) << "Tab never reaches Stop";
  EXPECT_EQ(form.statusView->geometry(), QRect(24, 52, 590, 200));
  EXPECT_EQ(form.centralWidget()->width(), 638);
  EXPECT_EQ(form.centralWidget()->height() + form.statusBar()->height(), 284);
}

TEST_F(Window, CommandRunsBusyAndReturnsIdle) {
  rig.modals.script.dialogPort = 2;
  std::vector<Controls> during;
  bool closed = true;
  rig.AtNextPump([&] {
    during.push_back(Look(form));
    closed = form.close();
    // Clicks and shortcuts on the way in while busy start nothing.
    form.ProgramClick();
    form.Bopen->click();
  });
  form.show();
  form.Brestart->click();
  ASSERT_EQ(during.size(), 1u);
  EXPECT_EQ(during[0], kBusy);
  EXPECT_FALSE(closed) << "closing is refused while a command runs";
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(Look(form), kIdle);
  ASSERT_EQ(rig.Lines().size(), 1u);
  EXPECT_EQ(rig.Lines()[0].rfind("Restarting panel", 0), 0u);
  EXPECT_TRUE(EndsInOk(rig.Lines()[0]));
  EXPECT_EQ(rig.modals.script.fileDialogs, 0);
  EXPECT_EQ(rig.modals.script.portDialogs.size(), 1u);
  EXPECT_EQ(form.StatusPanelText(1), " COM2");
  EXPECT_TRUE(form.close()) << "idle: the window may close";
}

TEST_F(Window, RestartTwiceAsksForThePortOnce) {
  rig.modals.script.dialogPort = 3;
  form.RestartClick();
  form.RestartClick();
  EXPECT_EQ(rig.modals.script.portDialogs.size(), 1u);
  EXPECT_EQ(rig.modals.portDialogFastRSIn, std::vector<bool>{true});
  EXPECT_EQ(rig.Lines().size(), 2u);
  for (const auto& line : rig.Lines()) EXPECT_TRUE(EndsInOk(line)) << line;
  EXPECT_EQ(form.StatusPanelText(1), " COM3");
}

TEST_F(Window, CtrlSDoesNothingWhileIdle) {
  form.show();
  form.RestartClick();
  ASSERT_EQ(Look(form), kIdle);
  QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(rig.modals.script.boxes.empty());
  EXPECT_FALSE(rig.parts().host.Stopped());
}

TEST_F(Window, CtrlSAnsweredNoLetsTheCommandGoOn) {
  rig.modals.script.answers = {false};
  bool busyWhileAsked = false;
  rig.modals.whileOpen = [&](const std::string&) { busyWhileAsked = form.Busy(); };
  form.RestartClick();  // chooses the port: one box-free command first
  rig.PostCtrlS();
  form.RestartClick();
  EXPECT_EQ(rig.modals.script.BoxTexts(), std::vector<std::string>{"Abort ?"});
  EXPECT_TRUE(busyWhileAsked);
  EXPECT_FALSE(rig.parts().host.Stopped());
  ASSERT_EQ(rig.Lines().size(), 2u);
  EXPECT_TRUE(EndsInOk(rig.Lines()[1]));
  EXPECT_EQ(form.StatusPanelText(1), " COM1");
}

TEST_F(Window, StoppedCommandForgetsThePort) {
  rig.modals.script.answers = {true};
  form.RestartClick();
  ASSERT_EQ(rig.parts().ports.PortNumber, 1);
  form.show();
  rig.AtNextPump([&] { form.Bstop->click(); });
  form.RestartClick();
  EXPECT_EQ(rig.modals.script.BoxTexts(), std::vector<std::string>{"Abort ?"});
  EXPECT_TRUE(rig.parts().host.Stopped());
  ASSERT_GE(rig.Lines().size(), 2u);
  EXPECT_EQ(rig.Lines()[rig.Lines().size() - 2], "Restarting panel")
      << "a stopped restart has no status";
  EXPECT_EQ(rig.Lines().back(), texts::kStoppedByUser);
  EXPECT_EQ(rig.parts().ports.PortNumber, 0);
  EXPECT_EQ(form.StatusPanelText(1), "");
  EXPECT_EQ(Look(form), kIdle);

  form.RestartClick();
  EXPECT_EQ(rig.modals.script.portDialogs.size(), 2u) << "the next command asks for the port again";
  EXPECT_FALSE(rig.parts().host.Stopped()) << "the next command starts with Stop cleared";
}

TEST_F(Window, ProgramRunFromTheWindow) {
  TempDir dir;
  rig.modals.script.dialogFile = WriteFirmware(dir, "new.17", "1.04.02:1");
  rig.modals.script.defaultAnswer = true;
  form.show();
  form.OpenClick();
  EXPECT_EQ(rig.modals.script.fileDialogs, 1);
  EXPECT_EQ(form.StatusPanelText(0).toStdString(), " " + rig.modals.script.dialogFile);
  EXPECT_FALSE(form.versionLabel->text().isEmpty());

  std::vector<std::string> titles;
  const auto keepTitle = form.statusView->onTitle;
  form.statusView->onTitle = [&](const std::string& t) {
    titles.push_back(t);
    keepTitle(t);
  };
  form.ProgramClick();
  const auto lines = rig.Lines();
  auto find = [&](const std::string& label) {
    for (const auto& l : lines) {
      if (l.rfind(label, 0) == 0) return l;
    }
    return std::string();
  };
  for (const char* step : {"Connecting:", "FLASH erasing:", "FLASH programing:", "Verification:"}) {
    const std::string line = find(step);
    ASSERT_FALSE(line.empty()) << step;
    EXPECT_TRUE(EndsInOk(line)) << line;
  }
  EXPECT_TRUE(Has(rig.modals.script.BoxTexts(), "Updating ok."));
  EXPECT_EQ(rig.parts().ports.PortNumber, 1);
  EXPECT_EQ(form.StatusPanelText(1), " COM1");
  EXPECT_EQ(Look(form), kIdle);
  EXPECT_FALSE(form.FormWait->isVisible());
  EXPECT_TRUE(Has(titles, "Tavrino - FLASH erasing"));
  EXPECT_EQ(form.windowTitle(), "Tavrino");
}

// The one preference: checked or not, the core runs as the item says, and the next session
// starts as this one left it.
TEST_F(Window, CheckSettingsAfterWritingIsRememberedAndReachesTheCore) {
  EXPECT_EQ(form.checkSettingsAction->text(), "&Check settings after writing");
  EXPECT_EQ(form.restoreSettingsAction->text().toStdString(), "Restore sett&ings\u2026");
  ASSERT_TRUE(form.checkSettingsAction->isCheckable());
  for (const bool on : {true, false, true}) {
    form.checkSettingsAction->setChecked(on);
    EXPECT_EQ(rig.parts().checkSettings, on);
    EXPECT_EQ(ui::CheckSettingsPreference(), on);
    WindowRig next;
    EXPECT_EQ(next.form.checkSettingsAction->isChecked(), on) << "the next session";
    EXPECT_EQ(next.parts().checkSettings, on);
  }
  form.checkSettingsAction->setChecked(false);
}

TEST_F(Window, RestoreSettingsFromTheWindow) {
  TempDir dir;
  const std::string backup = (dir.path() / "panel.tavrec").string();
  ASSERT_EQ(rig.core.Backup(backup), Outcome::BackedUp);
  const std::vector<uint8_t> memory1 = rig.panel.Memory1();
  std::fill(rig.panel.Memory1().begin(), rig.panel.Memory1().end(), 0xFF);
  const std::vector<uint8_t> wiped = rig.panel.Memory1();
  rig.modals.script.dialogFile = backup;
  form.show();
  // No to the question: the wiped panel stays as it is.
  rig.modals.script.answers = {false};
  form.RestoreClick();
  EXPECT_TRUE(rig.panel.Memory1() == wiped);
  EXPECT_EQ(Look(form), kIdle);

  rig.modals.script.answers = {true};
  form.RestoreClick();
  EXPECT_EQ(rig.modals.script.fileDialogs, 2);
  const auto boxes = rig.modals.script.BoxTexts();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].rfind("Restore the settings of the backup of ", 0), 0u) << boxes[0];
  EXPECT_EQ(boxes[1], boxes[0]);
  EXPECT_EQ(boxes[2], "Settings restored.");
  EXPECT_TRUE(rig.panel.Memory1() == memory1);
  EXPECT_TRUE(EndsInOk(rig.Lines().back())) << rig.Lines().back();
  EXPECT_EQ(Look(form), kIdle);

  // A file dialog left with Cancel starts nothing.
  rig.modals.script.dialogFile.clear();
  const size_t lines = rig.Lines().size();
  form.RestoreClick();
  EXPECT_EQ(rig.Lines().size(), lines);
}

// Help > Run reports shows the folder; where no file manager starts, a box says where the
// reports are, instead of nothing happening.
TEST_F(Window, RunReportsOpensTheFolderOrSaysWhereItIs) {
  TempDir dir;
  form.SetRunReportDir(dir.path() / "runs");
  std::vector<QUrl> opened;
  bool starts = true;
  form.openFolder = [&](const QUrl& folder) {
    opened.push_back(folder);
    return starts;
  };
  form.runReportsAction->trigger();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toLocalFile().toStdString(), (dir.path() / "runs").string());
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "runs"));
  EXPECT_TRUE(rig.modals.script.boxes.empty());

  starts = false;
  form.runReportsAction->trigger();
  ASSERT_EQ(rig.modals.script.boxes.size(), 1u);
  EXPECT_TRUE(rig.modals.script.boxes[0].infoOnly);
  EXPECT_NE(rig.modals.script.boxes[0].text.find("No file manager could be started"),
            std::string::npos);
  EXPECT_NE(rig.modals.script.boxes[0].text.find((dir.path() / "runs").string()), std::string::npos)
      << rig.modals.script.boxes[0].text;
}

// Idle, the title reads as a title whatever the last line was: a failed open ends with the
// line "Still loaded: ...", which has no status.
TEST_F(Window, TheIdleTitleIsTheProgramsName) {
  TempDir dir;
  rig.modals.script.dialogFile = WriteFirmware(dir, "good.17", "1.04.02:1");
  form.OpenClick();
  rig.modals.script.dialogFile = dir.Write("bad.17", std::vector<uint8_t>(100, 0x78));
  form.OpenClick();
  ASSERT_EQ(rig.Lines().back(), "Still loaded: good.17");
  EXPECT_EQ(form.windowTitle(), "Tavrino");
}

// Between Open File and Program the file went bad on disk: the window no longer shows its
// version or its name as loaded.
TEST_F(Window, AFileGoneBadBeforeProgramLeavesTheLabelAndStatusBarTrue) {
  TempDir dir;
  rig.modals.script.dialogFile = WriteFirmware(dir, "new.17", "1.04.02:1");
  form.OpenClick();
  ASSERT_FALSE(form.versionLabel->text().isEmpty());
  dir.Write("new.17", std::vector<uint8_t>(100, 0x78));
  form.ProgramClick();
  EXPECT_TRUE(form.versionLabel->text().isEmpty());
  EXPECT_TRUE(form.StatusPanelText(0).isEmpty());
  EXPECT_EQ(rig.panel.CommandCount(0x65), 0u);
}

}  // namespace
}  // namespace tavrino::test
