// SPDX-License-Identifier: GPL-3.0-or-later
#include "languages.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

#include "base/i18n.h"

namespace pelorix::gui {

bool installQtTranslations(QCoreApplication& app) {
  static QTranslator qt;
  QCoreApplication::removeTranslator(&qt);
  const QString language = QString::fromStdString(activeLanguage());
  if (!qt.load("qtbase_" + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  return app.installTranslator(&qt);
}

}  // namespace pelorix::gui
