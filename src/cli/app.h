// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace pelorix::cli {

// What the shell completions offer for an option or a positional: a closed set of values, or
// file names (with one of `extensions`, or any when empty).
struct Completion {
  std::vector<std::string> choices;
  bool files = false;
  std::vector<std::string> extensions;

  static Completion values(std::vector<std::string> choices) {
    return {std::move(choices), false, {}};
  }
  static Completion filesWith(std::vector<std::string> extensions) {
    return {{}, true, std::move(extensions)};
  }
};

// Records what an option completes to, where the option is made.
CLI::Option* completes(CLI::Option* option, Completion completion);
// An option with a closed set of values: checked, and completed with them.
CLI::Option* withChoices(CLI::Option* option, std::vector<std::string> choices);
const Completion* completionOf(const CLI::Option* option);

// The whole command line of pelorix-cli: options, subcommands and their actions. The programs
// and the completion generator use the same one.
class CliApp {
 public:
  CliApp();
  ~CliApp();
  CLI::App& app() { return *app_; }
  // Parses and runs; the exit status.
  int run(int argc, char** argv);
  std::vector<std::string> commandNames() const;

 private:
  struct State;
  std::unique_ptr<CLI::App> app_;
  std::unique_ptr<State> state_;
};

}  // namespace pelorix::cli
