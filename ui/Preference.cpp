// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/Preference.h"

#include <QSettings>

namespace tavrino::ui {

namespace {

constexpr auto kKey = "checkSettingsAfterWriting";

QSettings Store() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavrino"),
                   QStringLiteral("tavrino"));
}

}  // namespace

bool CheckSettingsPreference() {
  return Store().value(QLatin1String(kKey), false).toBool();
}

void SaveCheckSettingsPreference(bool on) {
  QSettings store = Store();
  store.setValue(QLatin1String(kKey), on);
  store.sync();
}

}  // namespace tavrino::ui
