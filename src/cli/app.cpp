// SPDX-License-Identifier: GPL-3.0-or-later
#include "app.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <string_view>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "commands.h"
#include "pelorix_version.h"

namespace pelorix::cli {
namespace {

std::map<const CLI::Option*, Completion>& completions() {
  static std::map<const CLI::Option*, Completion> table;
  return table;
}

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
  const std::string label = std::string(_("Usage")) + ": ";
  const size_t at = help.find(label);
  if (at == std::string::npos) return {};
  std::string line = help.substr(at, help.find('\n', at) - at);
  if (command.get_parent() && line.rfind(label + "pelorix-cli", 0) != 0) {
    line.insert(label.size(), "pelorix-cli ");
  }
  return line;
}

int usageError(const std::string& message, const CLI::App& command) {
  std::cerr << "pelorix-cli: " << message << '\n';
  const std::string usage = usageLine(command);
  if (!usage.empty()) std::cerr << usage << '\n';
  const std::string name =
      command.get_parent() ? "pelorix-cli " + command.get_name() : std::string("pelorix-cli");
  std::cerr << formatC(_("Run '%s --help' for more information.\n"), name.c_str());
  return kExitUsage;
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
  std::string text;
  for (const std::string& word : words)
    text += (text.empty() ? "" : separator) + word;
  return text;
}

}  // namespace

CLI::Option* completes(CLI::Option* option, Completion completion) {
  completions()[option] = std::move(completion);
  return option;
}

CLI::Option* withChoices(CLI::Option* option, std::vector<std::string> choices) {
  option->check(CLI::IsMember(choices));
  return completes(option, Completion::values(std::move(choices)));
}

const Completion* completionOf(const CLI::Option* option) {
  const auto found = completions().find(option);
  return found == completions().end() ? nullptr : &found->second;
}

struct CliApp::State {
  Action action;
  std::string language;
};

CliApp::CliApp() : app_(std::make_unique<CLI::App>()), state_(std::make_unique<State>()) {
  CLI::App& app = *app_;
  app.description(_("pelorix-cli: compose, render and inspect Pelorix projects"));
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
  // Any language is accepted (one without a catalogue falls back); those with one complete.
  completes(app.add_option("--lang", state_->language,
                           _("language of the messages: ja, en, ... (default: from the "
                             "environment)")),
            Completion::values({"ja", "en"}));
  app.footer(
      _("Exit status: 0 success, 1 failure, 2 the project file cannot be opened, 3 the project "
        "file is malformed, 4 interrupted, 5 rendered with missing pictures, 64 usage error."));
  Action& action = state_->action;
  addInfoCommand(app, action);
  addSaveAsCommand(app, action);
  addConvertCommand(app, action);
  addFrameCommand(app, action);
  addRenderCommand(app, action);
  addJoinCommand(app, action);
  for (CLI::App* command : app.get_subcommands({})) {
    command->group(_("Subcommands"));
    command->fallthrough();  // --lang (and --help) after the command too
  }
}

CliApp::~CliApp() = default;

namespace {

// "; did you mean '--quality'?" for the first mistyped option on the command line, when one of
// the command's options is near it; "" otherwise.
std::string suggestOption(const CLI::App& command, int argc, char** argv) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames())
      names.push_back("--" + name);
  }
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word.rfind("--", 0) != 0) continue;
    word = word.substr(0, word.find('='));
    if (std::find(names.begin(), names.end(), word) != names.end() || names.empty()) continue;
    const auto nearest = std::min_element(names.begin(), names.end(),
                                          [&word](const std::string& a, const std::string& b) {
                                            return editDistance(word, a) < editDistance(word, b);
                                          });
    if (editDistance(word, *nearest) <= 2)
      return formatC(_("; did you mean '%s'?"), nearest->c_str());
  }
  return {};
}

}  // namespace

std::vector<std::string> CliApp::commandNames() const {
  std::vector<std::string> names;
  for (const CLI::App* command : app_->get_subcommands({}))
    names.push_back(command->get_name());
  return names;
}

int CliApp::run(int argc, char** argv) {
  CLI::App& app = *app_;
  const std::vector<std::string> commands = commandNames();
  // A misspelt command reads better as such than as "a subcommand is required".
  int first = 1;
  if (first < argc && std::string_view(argv[first]) == "--lang") first += 2;
  if (first < argc && std::string_view(argv[first]).rfind("--lang=", 0) == 0) ++first;
  if (first < argc && argv[first][0] != '-' &&
      std::find(commands.begin(), commands.end(), argv[first]) == commands.end()) {
    const char* word = argv[first];
    std::string message = formatC(_("unknown command '%s'"), word);
    const auto nearest = std::min_element(commands.begin(), commands.end(),
                                          [word](const std::string& a, const std::string& b) {
                                            return editDistance(word, a) < editDistance(word, b);
                                          });
    if (editDistance(word, *nearest) <= 2) {
      message += formatC(_("; did you mean '%s'?"), nearest->c_str());
    }
    message += formatC(_(" (commands: %s)"), joined(commands, ", ").c_str());
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
      message = formatC(_("a command is required: %s"), joined(commands, ", ").c_str());
    }
    if (dynamic_cast<const CLI::ExtrasError*>(&error))
      message += suggestOption(*command, argc, argv);
    return usageError(message, *command);
  }
  int status = state_->action ? state_->action() : kExitFailure;
  // What went to standard output must have arrived (a full disk, a closed pipe).
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int error = errno;
    std::cerr << formatC(_("pelorix-cli: cannot write to standard output: %s\n"),
                         error ? std::strerror(error) : "write error");
    status = kExitFailure;
  }
  return status;
}

}  // namespace pelorix::cli
