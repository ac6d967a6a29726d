// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCoreApplication;

namespace pelorix::gui {

// Installs Qt's own translations (standard buttons, file dialogs) for the language Pelorix
// speaks (pelorix::activeLanguage()); true when a translation was found and installed.
bool installQtTranslations(QCoreApplication& app);

}  // namespace pelorix::gui
