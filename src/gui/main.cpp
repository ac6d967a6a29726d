// pelorix: the desktop application.
//   pelorix [PROJECT.pxp] [--settings FILE]
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include "app/settings.h"
#include "dlg_main.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("pelorix");
  QApplication::setApplicationVersion("0.51");
  QCommandLineParser parser;
  parser.setApplicationDescription("Pelorix: compose animation frames from still images");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("project",
                               "project file (.pxp) to open instead of the previous one");
  const QCommandLineOption settings("settings", "use this settings file", "FILE");
  parser.addOption(settings);
  parser.process(app);

  const std::string settingsPath = parser.isSet(settings) ? parser.value(settings).toStdString()
                                                          : pelorix::defaultSettingsPath();
  std::optional<std::string> project;
  if (!parser.positionalArguments().isEmpty()) {
    project = QFileInfo(parser.positionalArguments().front()).absoluteFilePath().toStdString();
  }
  pelorix::gui::DlgMain window(settingsPath, project);
  window.show();
  return QApplication::exec();
}
