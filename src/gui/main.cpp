// SPDX-License-Identifier: GPL-3.0-or-later
// pelorix: the desktop application.
//   pelorix [PROJECT.pxp] [--settings FILE]
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include "app/settings.h"
#include "base/i18n.h"
#include "base/process.h"
#include "dlg_main.h"
#include "languages.h"
#include "pelorix_version.h"

namespace {

struct Options {
  std::string settingsPath;
  std::optional<std::string> project;
};

// Reads the command line with a plain core application, so --help, --version and usage errors
// are answered (and the process ends) before anything needs a display.
Options parseOptions(int argc, char** argv) {
  QCoreApplication core(argc, argv);
  QCoreApplication::setApplicationName("pelorix");
  QCoreApplication::setApplicationVersion(PELORIX_VERSION);
  QCommandLineParser parser;
  parser.setApplicationDescription("Pelorix: compose animation frames from still images");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("project",
                               "project file (.pxp) to open instead of the previous one");
  const QCommandLineOption settings("settings", "use this settings file", "FILE");
  parser.addOption(settings);
  parser.process(core);
  Options options;
  options.settingsPath = parser.isSet(settings) ? parser.value(settings).toStdString()
                                                : pelorix::defaultSettingsPath();
  if (!parser.positionalArguments().isEmpty()) {
    options.project =
        QFileInfo(parser.positionalArguments().front()).absoluteFilePath().toStdString();
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  pelorix::openStandardDescriptors();
  const Options options = parseOptions(argc, argv);
  // The language: the settings file's "言語" key, else the environment.
  pelorix::ProfileFile profile;
  profile.load(options.settingsPath);
  pelorix::initLanguage(pelorix::readSettings(profile).language);
  // The sound track is read by the FFmpeg back end of Qt Multimedia, which reads what the
  // video module and pelorix-cli read; a back end chosen in the environment stays.
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
  QApplication app(argc, argv);
  QApplication::setApplicationName("pelorix");
  QApplication::setApplicationVersion(PELORIX_VERSION);
  QGuiApplication::setDesktopFileName("io.github.pelorix.Pelorix");
  // Qt's own texts (standard buttons, file dialogs) in the language of ours.
  pelorix::gui::installQtTranslations(app);
  pelorix::gui::DlgMain window(options.settingsPath, options.project);
  window.show();
  return QApplication::exec();
}
