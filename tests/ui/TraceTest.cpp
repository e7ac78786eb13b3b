// SPDX-License-Identifier: GPL-2.0-or-later
// What the window tells when things go wrong, and the trace it leaves: a port that does not
// open says why and is forgotten, every status line also goes to standard output, every
// Program, Test and Restart keeps a run report, and a failed open names the file that stays.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>
#include <sstream>

#include "UiRig.h"
#include "frontend/Cp1250.h"
#include "frontend/Texts.h"
#include "state/RunReport.h"
#include "ui/FormFlashRS.h"
#include "ui/Start.h"

namespace tavrino::test {
namespace {

std::vector<std::string> Utf8(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(Cp1250ToUtf8(l));
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string Closed(const std::string& label, const std::string& status) {
  return label + std::string(59 - label.size() - status.size(), ' ') + status;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Trace, ARememberedPortThatFailsSaysWhyAndIsForgotten) {
  WindowRig rig;
  rig.form.RestartClick();
  ASSERT_EQ(rig.parts().ports.PortNumber, 1);
  ASSERT_EQ(rig.modals.script.portDialogs.size(), 1u);

  rig.line.SetAvailableDevices({});  // the adapter was unplugged
  rig.form.RestartClick();
  EXPECT_EQ(rig.Lines().back(), Closed("Port COM1 (/dev/ttyS0):", "missing"));
  EXPECT_EQ(rig.parts().ports.PortNumber, 0);
  EXPECT_EQ(rig.form.StatusPanelText(1), "");
  EXPECT_EQ(rig.form.windowTitle(), "Tavrino");

  // The next command asks again; cancelling it adds no line.
  rig.modals.script.dialogPort = 0;
  const size_t lines = rig.Lines().size();
  rig.form.RestartClick();
  EXPECT_EQ(rig.modals.script.portDialogs.size(), 2u);
  EXPECT_EQ(rig.Lines().size(), lines);
}

TEST(Trace, AnUnattendedRunWritesEveryStatusLineToStandardOutput) {
  TempDir dir;
  const std::string path = WriteFirmware(dir, "new.17", "1.04.02:1");
  {
    // The port is missing: the run says so instead of ending in silence.
    WindowRig rig;
    std::ostringstream out;
    rig.form.SetEcho(&out);
    rig.line.SetAvailableDevices({});
    const ui::StartResult r = ui::Start(rig.form, {path, "2"});
    EXPECT_EQ(r.exitCode, ExitCode(Outcome::PortNotOpened));
    EXPECT_EQ(SplitLines(out.str()),
              (std::vector<std::string>{Closed("File checking:", "ok"),
                                        Closed("Port COM2 (/dev/ttyS1):", "missing"),
                                        "Failed: the serial port could not be opened."}));
  }
  {
    // A whole run: the lines as the display shows them, in UTF-8 ("BŁĄD" included), then
    // the run report's path on standard error and the closing line, as tavrino-cli ends.
    WindowRig rig;
    std::ostringstream out, err;
    rig.form.SetEcho(&out, &err);
    rig.form.SetRunReportDir(dir.path() / "runs");
    rig.panel.FaultSettings().silentAfterFrames = 0;
    const ui::StartResult r = ui::Start(rig.form, {path, "1"});
    EXPECT_EQ(r.exitCode, ExitCode(Outcome::NoConnection));
    auto shown = SplitLines(out.str());
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "Failed: no connection with the panel.");
    shown.pop_back();
    EXPECT_EQ(shown, Utf8(rig.Lines()));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), Cp1250ToUtf8(Closed("Connecting:", texts::kNoConnection)));
    EXPECT_EQ(err.str(), "tavrino: run report: " + rig.form.LastRunReport().string() + "\n");
    EXPECT_TRUE(std::filesystem::is_regular_file(rig.form.LastRunReport()));
  }
}

TEST(Trace, ProgramTestAndRestartEachKeepARunReport) {
  TempDir dir;
  WindowRig rig;
  rig.form.SetRunReportDir(dir.path() / "runs");
  rig.modals.script.dialogFile = WriteFirmware(dir, "new.17", "1.04.02:1");
  rig.modals.script.defaultAnswer = true;
  rig.form.OpenClick();
  EXPECT_TRUE(rig.form.LastRunReport().empty()) << "opening a file is no run";

  rig.form.ProgramClick();
  const std::filesystem::path program = rig.form.LastRunReport();
  ASSERT_FALSE(program.empty());
  const std::string text = ReadText(program);
  EXPECT_EQ(CheckRunReport(text), "");
  for (const std::string& field : std::vector<std::string>{
           "command: Program\n", "front end: tavrino\n", "outcome: updated (exit status 0)\n",
           "file: " + rig.modals.script.dialogFile + "\n", "file version: 1.04.02 eng\n",
           "panel version: 1.04.01 eng\n", "port: COM1 (/dev/ttyS0)\n"}) {
    EXPECT_NE(text.find(field), std::string::npos) << field << text;
  }
  for (const auto& line : Utf8(rig.Lines())) {
    EXPECT_NE(text.find("  " + line + "\n"), std::string::npos) << line;
  }

  rig.form.TestClick();
  rig.form.RestartClick();
  EXPECT_NE(ReadText(rig.form.LastRunReport()).find("command: Restart\n"), std::string::npos);
  size_t reports = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() / "runs")) {
    (void)entry;
    ++reports;
  }
  EXPECT_EQ(reports, 3u);
}

TEST(Trace, AFailedOpenNamesTheFileThatStaysLoaded) {
  TempDir dir;
  WindowRig rig;
  const std::string good = WriteFirmware(dir, "good.17", "1.04.02:1");
  rig.modals.script.dialogFile = good;
  rig.form.OpenClick();
  const QString version = rig.form.versionLabel->text();
  ASSERT_FALSE(version.isEmpty());

  rig.modals.script.dialogFile = dir.Write("bad.17", {1, 2, 3});
  rig.form.OpenClick();
  EXPECT_EQ(rig.Lines().back(), "Still loaded: good.17");
  EXPECT_EQ(rig.form.versionLabel->text(), version);
  EXPECT_EQ(rig.form.StatusPanelText(0).toStdString(), " " + good);
  EXPECT_EQ(rig.parts().file.FirmwareFileName, good) << "Program uses the file the window names";
}

TEST(Trace, ATitleFromALabelWithoutAColonHasNoPadding) {
  WindowRig rig;
  rig.log.AddLine("Restarting panel");
  EXPECT_EQ(rig.form.windowTitle(), "Tavrino - Restarting panel");
}

TEST(Trace, ThePortDialogShowsTheDeviceOfEachPortAndWhyItIsGreyed) {
  WindowRig rig;
  rig.line.SetAvailableDevices({"COM2"});
  std::vector<QString> shown;
  rig.modals.portDialogOpen = [&](ui::TFormFlashRS& dialog, const std::array<bool, 4>& available) {
    dialog.Prepare(available, true);
    for (QLabel* label : dialog.Ldevice) shown.push_back(label->text());
  };
  rig.modals.script.dialogPort = 2;
  rig.form.RestartClick();
  EXPECT_EQ(shown,
            (std::vector<QString>{"/dev/ttyS0 \u2013 missing", "/dev/ttyS1",
                                  "/dev/ttyS2 \u2013 missing", "/dev/ttyS3 \u2013 missing"}));
}

TEST(PortDialogDetails, ShowTheDeviceAndWhyAPortIsGreyedAndOfferAnAdapter) {
  ui::TFormFlashRS dialog;
  std::vector<std::pair<uint16_t, QString>> taken;
  dialog.SetDetails({ui::PortDetail{"/dev/ttyS0", ""},
                     {"/dev/ttyS1", "missing"},
                     {"/dev/ttyS2", "busy: held by another program"},
                     {"/dev/ttyS3", "no permission: join the group dialout"}},
                    ui::PortOffer{2, "/dev/ttyUSB0", "usb-FTDI_A1"},
                    [&](uint16_t port, const QString& device) {
                      taken.emplace_back(port, device);
                      return ui::PortDetail{device, ""};
                    });
  dialog.Prepare({true, false, false, false}, true);
  for (QLabel* label : dialog.Ldevice) {
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
  }
  EXPECT_EQ(dialog.Ldevice[0]->text(), "/dev/ttyS0");
  EXPECT_EQ(dialog.Ldevice[1]->text(), "/dev/ttyS1 \u2013 missing");
  EXPECT_EQ(dialog.Ldevice[2]->text(), "/dev/ttyS2 \u2013 busy: held by another program");
  EXPECT_EQ(dialog.Ldevice[3]->text(), "/dev/ttyS3 \u2013 no permission: join the group dialout");
  EXPECT_FALSE(dialog.Ldevice[3]->isEnabled());
  EXPECT_FALSE(dialog.BToffer->isHidden());
  EXPECT_EQ(dialog.BToffer->text(), "Use usb-FTDI_A1 as COM2");

  dialog.BToffer->click();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0], (std::pair<uint16_t, QString>{2, "/dev/ttyUSB0"}));
  EXPECT_TRUE(dialog.BToffer->isHidden());
  EXPECT_EQ(dialog.Ldevice[1]->text(), "/dev/ttyUSB0");
  EXPECT_TRUE(dialog.portButtons[1]->isEnabled());
  EXPECT_TRUE(dialog.portButtons[1]->isChecked());
  EXPECT_TRUE(dialog.BTok->isEnabled());
  EXPECT_EQ(dialog.CheckedPort(), 2);
}

}  // namespace
}  // namespace tavrino::test
