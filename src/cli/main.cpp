// SPDX-License-Identifier: GPL-3.0-or-later
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <iostream>
#include <string_view>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "commands.h"
#include "pelorix_version.h"

namespace {

constexpr std::array<std::string_view, 5> kCommands = {"info", "save-as", "convert", "frame",
                                                       "render"};

// Letters to change, add or remove to turn one word into another.
size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j)
    row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The "Usage: ..." line of a command's help.
std::string usageLine(const CLI::App& command) {
  const std::string help = command.help();
  const size_t at = help.find("Usage:");
  if (at == std::string::npos) return {};
  std::string line = help.substr(at, help.find('\n', at) - at);
  if (command.get_parent() && line.rfind("Usage: pelorix-cli", 0) != 0) {
    line.insert(7, "pelorix-cli ");
  }
  return line;
}

int usageError(const std::string& message, const CLI::App& command) {
  std::cerr << "pelorix-cli: " << message << '\n';
  const std::string usage = usageLine(command);
  if (!usage.empty()) std::cerr << usage << '\n';
  const std::string name =
      command.get_parent() ? "pelorix-cli " + command.get_name() : std::string("pelorix-cli");
  std::cerr << pelorix::formatC(pelorix::_("Run '%s --help' for more information.\n"),
                                name.c_str());
  return pelorix::cli::kExitUsage;
}

// The language of --lang LANG or --lang=LANG, wherever it is on the line; empty without one.
std::string languageOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--lang" && i + 1 < argc) return argv[i + 1];
    if (arg.rfind("--lang=", 0) == 0) return std::string(arg.substr(7));
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  using pelorix::_;
  using pelorix::formatC;
  using pelorix::N_;
  // The language first: the help texts are made when the commands are registered.
  pelorix::initLanguage(languageOption(argc, argv));
  CLI::App app{_("pelorix-cli: compose, render and inspect Pelorix projects")};
  app.name("pelorix-cli");
  app.require_subcommand(1);
  // The help's own words, in the chosen language too.
  app.option_defaults()->group(_("Options"));
  app.set_help_flag("-h,--help", _("Print this help message and exit"));
  app.set_version_flag("-V,--version", std::string("pelorix-cli ") + PELORIX_VERSION,
                       _("Display program version information and exit"));
  for (const char* label :
       {N_("Usage"), N_("Positionals"), N_("REQUIRED"), N_("OPTIONS"), N_("SUBCOMMAND")}) {
    app.get_formatter()->label(label, _(label));
  }
  std::string language;
  app.add_option("--lang", language,
                 _("language of the messages: ja, en, ... (default: from the environment)"));
  app.footer(
      _("Exit status: 0 success, 1 failure, 2 the project file cannot be opened, 3 the project "
        "file is malformed, 4 interrupted, 5 rendered with missing pictures, 64 usage error."));
  pelorix::cli::Action action;
  pelorix::cli::addInfoCommand(app, action);
  pelorix::cli::addSaveAsCommand(app, action);
  pelorix::cli::addConvertCommand(app, action);
  pelorix::cli::addFrameCommand(app, action);
  pelorix::cli::addRenderCommand(app, action);
  for (CLI::App* command : app.get_subcommands({}))
    command->group(_("Subcommands"));

  // A misspelt command reads better as such than as "a subcommand is required".
  int first = 1;
  if (first < argc && std::string_view(argv[first]) == "--lang") first += 2;
  if (first < argc && std::string_view(argv[first]).rfind("--lang=", 0) == 0) ++first;
  if (first < argc && argv[first][0] != '-' &&
      std::find(kCommands.begin(), kCommands.end(), std::string_view(argv[first])) ==
          kCommands.end()) {
    const char* word = argv[first];
    std::string message = formatC(_("unknown command '%s'"), word);
    const auto nearest = std::min_element(kCommands.begin(), kCommands.end(),
                                          [word](std::string_view a, std::string_view b) {
                                            return editDistance(word, a) < editDistance(word, b);
                                          });
    if (editDistance(word, *nearest) <= 2) {
      message += formatC(_("; did you mean '%s'?"), std::string(*nearest).c_str());
    }
    message += _(" (commands: info, save-as, convert, frame, render)");
    return usageError(message, app);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);  // --help, --version
    const CLI::App* command = &app;
    for (const CLI::App* sub : app.get_subcommands())
      command = sub;
    std::string message = error.what();
    if (dynamic_cast<const CLI::RequiredError*>(&error) && command == &app) {
      message = _("a command is required: info, save-as, convert, frame or render");
    }
    return usageError(message, *command);
  }
  return action ? action() : pelorix::cli::kExitFailure;
}
