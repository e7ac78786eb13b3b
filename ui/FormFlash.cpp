// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/FormFlash.h"

#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QToolButton>

#include "run/Core.h"
#include "state/RecordStore.h"
#include "tavrino/BuildInfo.h"
#include "ui/FormFlashRS.h"
#include "ui/FormWait.h"
#include "ui/Preference.h"
#include "ui/StatusLogWidget.h"

// Pictures live in a static library: their registration must be pulled in by hand.
static void InitPictures() {
  Q_INIT_RESOURCE(tavrino);
}

namespace tavrino::ui {
namespace {

constexpr int kClientWidth = 638;
constexpr int kClientHeight = 284;
constexpr int kStatusBarHeight = 24;
constexpr int kStatusBarRightMargin = 3;
constexpr int kButtonSize = 31;
constexpr int kPictureSize = 24;

QIcon Picture(const char* name) {
  QSvgRenderer renderer(QStringLiteral(":/tavrino/%1.svg").arg(QLatin1String(name)));
  QPixmap pixmap(kPictureSize, kPictureSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  painter.end();
  return QIcon(pixmap);
}

}  // namespace

QString HintOf(const QString& menuText) {
  QString hint = menuText.section(QLatin1Char('\t'), 0, 0);
  hint.remove(QLatin1Char('&'));
  return hint;
}

std::string AboutText() {
  return std::string(build::kVersionLine) + "\rFLASH updating software for QZ-17";
}

TFormFlash::TFormFlash(StatusLog& log, Modals& modals, QWidget* parent)
    // Customized: only the buttons named here, so no maximise button on a fixed window.
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      log_(log),
      modals_(modals) {
  InitPictures();
  setObjectName(QStringLiteral("FormFlash"));
  QFont font;
  font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
  font.setPixelSize(11);
  setFont(font);

  auto* area = new QWidget(this);
  area->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  setCentralWidget(area);
  BuildButtons(area);
  versionLabel = new QLabel(area);
  versionLabel->setObjectName(QStringLiteral("versionLabel"));
  versionLabel->setGeometry(248, 16, 366, 25);
  versionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont lverFont;
  lverFont.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
  lverFont.setStyleHint(QFont::TypeWriter);
  lverFont.setPixelSize(16);
  versionLabel->setFont(lverFont);
  statusView = new StatusLogWidget(log_, area);
  statusView->setGeometry(24, 52, 590, 200);
  statusView->setFixedSize(590, 200);
  statusView->onTitle = [this](const std::string& title) {
    // The task bar shows the window's title: it follows the work. A label without a colon
    // comes padded with the blanks that fill its line; the title has no use for them.
    setWindowTitle(QString::fromStdString(StatusLog::Trimmed(title)));
  };
  lines_ = std::make_unique<StatusLineTap>(
      statusView, [this](const std::string& line) { OnStatusLine(line); },
      [this](const std::string& text) { OnLineInFull(text); });
  statusView->viewInFront = lines_.get();
  BuildStatusBar();
  BuildMenu();

  openDialog = new QFileDialog(this);
  openDialog->setObjectName(QStringLiteral("openDialog"));
  openDialog->setFileMode(QFileDialog::ExistingFile);
  openDialog->setAcceptMode(QFileDialog::AcceptOpen);
  openDialog->setDirectory(QStringLiteral("."));
  restoreDialog = new QFileDialog(this);
  restoreDialog->setObjectName(QStringLiteral("restoreDialog"));
  restoreDialog->setFileMode(QFileDialog::ExistingFile);
  restoreDialog->setAcceptMode(QFileDialog::AcceptOpen);
  // The backups the tool keeps itself, where they are; the person may go anywhere else.
  os::Failure noFolder;
  const std::filesystem::path backups = state::RecordStore().Dir(state::Folder::Backups, noFolder);
  std::error_code missing;
  restoreDialog->setDirectory(!backups.empty() && std::filesystem::is_directory(backups, missing)
                                  ? QFile::decodeName(backups.c_str())
                                  : QStringLiteral("."));
  FormFlashRS = new TFormFlashRS(this);
  FormWait = new TFormWait(this);

  // Fixed size: the window is exactly the menu, the client area and nothing to resize.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  FormCreate();
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TFormFlash::Attach(Core& core) {
  core_ = &core;
  core.SetCheckSettings(checkSettingsAction->isChecked());
}

void TFormFlash::CheckSettingsToggled(bool on) {
  SaveCheckSettingsPreference(on);
  if (core_ != nullptr) core_->SetCheckSettings(on);
}

bool TFormFlash::CheckSettingsAfterWriting() const {
  return checkSettingsAction->isChecked();
}

TFormFlash::~TFormFlash() {
  // The display's view goes with the window; the log must not call the line tap after it.
  log_.SetView(nullptr);
}

void TFormFlash::FormCreate() {
  QGuiApplication::setApplicationName(QStringLiteral("Tavrino"));
  log_.SetCaption("Tavrino");
  setWindowTitle(QStringLiteral("Tavrino"));
  programmingMenu->setTitle(QStringLiteral("&Programming"));
  openAction->setText(QStringLiteral("&Open File"));
  programAction->setText(QStringLiteral("&Program"));
  testAction->setText(QStringLiteral("&Test"));
  restartAction->setText(QStringLiteral("&Restart"));
  restoreSettingsAction->setText(QStringLiteral("Restore sett&ings\u2026"));
  checkSettingsAction->setText(QStringLiteral("&Check settings after writing"));
  // The tab puts the key name in the menu's shortcut column; the window handles the key.
  stopAction->setText(QStringLiteral("&Stop\tCtrl+S"));
  exitAction->setText(QStringLiteral("&Exit"));
  helpMenu->setTitle(QStringLiteral("&Help"));
  aboutAction->setText(QStringLiteral("&About"));
  runReportsAction->setText(QStringLiteral("&Run reports"));
  openDialog->setNameFilter(QStringLiteral("QZ-17 program (*.17)"));
  openDialog->setWindowTitle(QStringLiteral("Choose QZ-17 program"));
  restoreDialog->setNameFilter(QStringLiteral("Settings backup (*.tavrec)"));
  restoreDialog->setWindowTitle(QStringLiteral("Choose settings backup"));
  Bopen->setToolTip(HintOf(openAction->text()));
  Bprogram->setToolTip(HintOf(programAction->text()));
  Btest->setToolTip(HintOf(testAction->text()));
  Brestart->setToolTip(HintOf(restartAction->text()));
  Bstop->setToolTip(HintOf(stopAction->text()));
}

void TFormFlash::BuildButtons(QWidget* area) {
  struct Place {
    QToolButton*& button;
    const char* name;
    const char* picture;
    int left;
    void (TFormFlash::*handler)();
  };
  const Place places[] = {
      {Bopen, "Bopen", "open", 8, &TFormFlash::OpenClick},
      {Bprogram, "Bprogram", "program", 48, &TFormFlash::ProgramClick},
      {Btest, "Btest", "test", 88, &TFormFlash::TestClick},
      {Brestart, "Brestart", "restart", 128, &TFormFlash::RestartClick},
      {Bstop, "Bstop", "stop", 168, &TFormFlash::StopClick},
  };
  for (const Place& place : places) {
    auto* button = new QToolButton(area);
    button->setObjectName(QLatin1String(place.name));
    button->setGeometry(place.left, 8, kButtonSize, kButtonSize);
    button->setIcon(Picture(place.picture));
    button->setIconSize(QSize(kPictureSize, kPictureSize));
    button->setFocusPolicy(Qt::StrongFocus);
    connect(button, &QToolButton::clicked, this, place.handler);
    place.button = button;
  }
  // Stop is clicked, never tabbed to.
  Bstop->setFocusPolicy(Qt::ClickFocus);
  setTabOrder(Bopen, Bprogram);
  setTabOrder(Bprogram, Btest);
  setTabOrder(Btest, Brestart);
}

void TFormFlash::BuildMenu() {
  programmingMenu = menuBar()->addMenu(QString());
  openAction = programmingMenu->addAction(QString(), this, &TFormFlash::OpenClick);
  openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  programAction = programmingMenu->addAction(QString(), this, &TFormFlash::ProgramClick);
  programAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  testAction = programmingMenu->addAction(QString(), this, &TFormFlash::TestClick);
  testAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  restartAction = programmingMenu->addAction(QString(), this, &TFormFlash::RestartClick);
  restartAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  restoreSettingsAction = programmingMenu->addAction(QString(), this, &TFormFlash::RestoreClick);
  stopAction = programmingMenu->addAction(QString());
  stopAction->setEnabled(false);
  programmingMenu->addSeparator();
  checkSettingsAction = programmingMenu->addAction(QString());
  checkSettingsAction->setCheckable(true);
  checkSettingsAction->setChecked(CheckSettingsPreference());
  connect(checkSettingsAction, &QAction::toggled, this, &TFormFlash::CheckSettingsToggled);
  programmingMenu->addSeparator();
  exitAction = programmingMenu->addAction(QString(), this, &TFormFlash::KoniecClick);
  exitAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  helpMenu = menuBar()->addMenu(QString());
  aboutAction = helpMenu->addAction(QString(), this, &TFormFlash::AboutClick);
  runReportsAction = helpMenu->addAction(QString(), this, &TFormFlash::RunReportsClick);
}

void TFormFlash::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("mainStatusBar"));
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusBarHeight);
  // The bar's layout leaves no room after its last panel: without a margin the right
  // panel's frame ran into the window's edge and its right border was lost.
  bar->setContentsMargins(0, 0, kStatusBarRightMargin, 0);
  for (size_t i = 0; i < panels_.size(); ++i) {
    auto* panel = new QLabel(bar);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setTextFormat(Qt::PlainText);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panels_[i] = panel;
  }
  panels_[0]->setFixedWidth(512);
  bar->addWidget(panels_[0]);
  bar->addWidget(panels_[1], 1);
}

QString TFormFlash::StatusPanelText(int panel) const {
  return panel == 0 || panel == 1 ? panelTexts_[static_cast<size_t>(panel)] : QString();
}

void TFormFlash::SetPanel(int panel, const QString& text) {
  if (panel != 0 && panel != 1) return;
  const auto i = static_cast<size_t>(panel);
  panelTexts_[i] = text;
  QLabel* label = panels_[i];
  if (panel == 1) {
    label->setText(text);
    return;
  }
  // Panel 0 has a fixed width and holds a path: cut at its end it would hide the file's name.
  const QFontMetrics metrics(label->font());
  const int room = label->contentsRect().width() - metrics.horizontalAdvance(QLatin1Char('x'));
  label->setText(metrics.elidedText(text, Qt::ElideMiddle, room));
  label->setToolTip(label->text() == text ? QString() : text);
}

}  // namespace tavrino::ui
