// SPDX-License-Identifier: GPL-2.0-or-later
// The four ways to start: load a file, an unattended Program run that exits with its
// outcome, an unknown port that leaves the window as created, and the About box.
#include <gtest/gtest.h>

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

#include "UiRig.h"
#include "frontend/Outcome.h"
#include "ui/Start.h"

namespace tavrino::test {
namespace {

class Starting : public ::testing::Test {
 protected:
  ui::StartResult Start(const std::vector<std::string>& args) { return ui::Start(form, args); }
  bool AllCommandsOn() const {
    return form.programmingMenu->isEnabled() && form.Bopen->isEnabled() &&
           form.Bprogram->isEnabled() && form.Btest->isEnabled() && form.Brestart->isEnabled();
  }

  TempDir dir;
  WindowRig rig;
  ui::TFormFlash& form = rig.form;
};

TEST_F(Starting, OneArgumentLoadsTheFileWithoutTheDialog) {
  // Longer than 255 characters: the whole path is used, never a cut one.
  const std::string path =
      WriteFirmware(dir, std::string(150, 'a') + "/" + std::string(150, 'b') + ".17", "1.04.02:1");
  ASSERT_GT(path.size(), 255u);
  const ui::StartResult r = Start({path});
  EXPECT_FALSE(r.quit);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(rig.modals.script.fileDialogs, 0);
  EXPECT_TRUE(rig.modals.script.boxes.empty());
  EXPECT_EQ(rig.parts().file.FirmwareFileName, path);
  EXPECT_EQ(form.StatusPanelText(0).toStdString(), " " + path);
  // Too long for the status bar: what shows fits and still ends in the file's name.
  const auto* panel = form.findChild<QLabel*>(QStringLiteral("StatusPanel0"));
  ASSERT_NE(panel, nullptr);
  EXPECT_LE(QFontMetrics(panel->font()).horizontalAdvance(panel->text()),
            panel->contentsRect().width());
  EXPECT_TRUE(panel->text().endsWith(QString::fromStdString(std::string(10, 'b') + ".17")))
      << panel->text().toStdString();
  EXPECT_EQ(panel->toolTip().toStdString(), " " + path);
  EXPECT_FALSE(form.versionLabel->text().isEmpty());
  EXPECT_TRUE(AllCommandsOn());
  EXPECT_FALSE(form.Bstop->isEnabled());
}

TEST_F(Starting, OneEmptyArgumentShowsTheFileDialog) {
  Start({""});
  EXPECT_EQ(rig.modals.script.fileDialogs, 1);
  EXPECT_TRUE(AllCommandsOn());
}

TEST_F(Starting, FileAndPortRunUnattendedThenQuit) {
  const std::string path = WriteFirmware(dir, "new.17", "1.04.02:1");
  bool visibleDuringRun = false;
  rig.AtNextPump([&] { visibleDuringRun = form.isVisible() && form.Busy(); });
  const ui::StartResult r = Start({path, "3"});
  EXPECT_TRUE(visibleDuringRun);
  EXPECT_TRUE(r.quit);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(rig.parts().ports.PortNumber, 3);
  EXPECT_TRUE(rig.parts().ports.TryFastSpeeds);
  EXPECT_TRUE(rig.modals.script.portDialogs.empty());
  EXPECT_TRUE(rig.modals.script.boxes.empty()) << "an unattended run asks nothing";
  EXPECT_EQ(rig.panel.CurrentMode(), sim::SimulatedPanel::Mode::Program);
}

TEST_F(Starting, UnattendedRunThatFailsSaysSoInTheExitStatus) {
  // The panel never answers: the run ends without connecting.
  rig.panel.FaultSettings().silentAfterFrames = 0;
  const ui::StartResult r = Start({WriteFirmware(dir, "new.17", "1.04.02:1"), "1"});
  EXPECT_TRUE(r.quit);
  EXPECT_EQ(r.exitCode, ExitCode(Outcome::NoConnection));

  WindowRig missing;
  const ui::StartResult m = ui::Start(missing.form, {(dir.path() / "none.17").string(), "2"});
  EXPECT_TRUE(m.quit);
  EXPECT_EQ(m.exitCode, ExitCode(Outcome::FileRejected));
}

TEST_F(Starting, UnknownPortLeavesTheWindowAsCreated) {
  for (const char* port : {"5", " 3"}) {
    WindowRig fresh;
    const ui::StartResult r =
        ui::Start(fresh.form, {WriteFirmware(dir, "new.17", "1.04.02:1"), port});
    EXPECT_FALSE(r.quit) << port;
    EXPECT_TRUE(fresh.form.isVisible());
    EXPECT_TRUE(fresh.modals.script.boxes.empty());
    EXPECT_TRUE(fresh.log.History().empty()) << "no file loaded";
    EXPECT_TRUE(fresh.form.versionLabel->text().isEmpty());
    EXPECT_TRUE(fresh.form.Bstop->isEnabled()) << "the creation state has Stop on";
    EXPECT_FALSE(fresh.form.stopAction->isEnabled());
    EXPECT_TRUE(fresh.form.programmingMenu->isEnabled() && fresh.form.Bprogram->isEnabled());
    EXPECT_EQ(fresh.form.StatusPanelText(0), "");
    EXPECT_EQ(fresh.form.StatusPanelText(1), "");
    EXPECT_EQ(fresh.parts().ports.PortNumber, 0);
  }
}

TEST_F(Starting, NoArgumentsOrThreeShowAbout) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"a.17", "1", "x"}}) {
    WindowRig fresh;
    bool lockedWhileOpen = false;
    fresh.modals.whileOpen = [&](const std::string&) {
      lockedWhileOpen = fresh.form.isVisible() && fresh.form.Busy() &&
                        !fresh.form.Bstop->isEnabled() && !fresh.form.Bopen->isEnabled();
    };
    const ui::StartResult r = ui::Start(fresh.form, args);
    EXPECT_FALSE(r.quit);
    ASSERT_EQ(fresh.modals.script.boxes.size(), 1u) << args.size();
    EXPECT_EQ(fresh.modals.script.boxes[0].text,
              "Tavrino 4.06 2006-06-03\rFLASH updating software for QZ-17");
    EXPECT_TRUE(fresh.modals.script.boxes[0].infoOnly);
    EXPECT_TRUE(lockedWhileOpen);
    EXPECT_FALSE(fresh.form.Busy());
    EXPECT_FALSE(fresh.form.Bstop->isEnabled());
    EXPECT_TRUE(fresh.log.History().empty());
  }
}

}  // namespace
}  // namespace tavrino::test
