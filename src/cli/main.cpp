#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <iostream>
#include <string_view>

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
  std::cerr << "Run '" << name << " --help' for more information.\n";
  return pelorix::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"pelorix-cli: compose, render and inspect Pelorix projects"};
  app.name("pelorix-cli");
  app.require_subcommand(1);
  app.set_version_flag("-V,--version", std::string("pelorix-cli ") + PELORIX_VERSION);
  app.footer(
      "Exit status: 0 success, 1 failure, 2 the project file cannot be opened, 3 the project file "
      "is malformed, 4 interrupted, 5 rendered with missing pictures, 64 usage error.");
  pelorix::cli::Action action;
  pelorix::cli::addInfoCommand(app, action);
  pelorix::cli::addSaveAsCommand(app, action);
  pelorix::cli::addConvertCommand(app, action);
  pelorix::cli::addFrameCommand(app, action);
  pelorix::cli::addRenderCommand(app, action);

  // A misspelt command reads better as such than as "a subcommand is required".
  if (argc > 1 && argv[1][0] != '-' &&
      std::find(kCommands.begin(), kCommands.end(), std::string_view(argv[1])) == kCommands.end()) {
    std::string message = std::string("unknown command '") + argv[1] + "'";
    const auto nearest = std::min_element(
        kCommands.begin(), kCommands.end(), [&](std::string_view a, std::string_view b) {
          return editDistance(argv[1], a) < editDistance(argv[1], b);
        });
    if (editDistance(argv[1], *nearest) <= 2)
      message += "; did you mean '" + std::string(*nearest) + "'?";
    message += " (commands: info, save-as, convert, frame, render)";
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
      message = "a command is required: info, save-as, convert, frame or render";
    }
    return usageError(message, *command);
  }
  return action ? action() : pelorix::cli::kExitFailure;
}
