// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the bash or zsh completion of pelorix-cli from its own command line, so the commands,
// options, choices and file types are the ones the program has. Run at build time:
//   pelorix-cli-completions bash|zsh > FILE
#include <CLI/CLI.hpp>

#include <iostream>
#include <set>
#include <string>

#include "app.h"
#include "base/i18n.h"

namespace {

using pelorix::cli::CliApp;
using pelorix::cli::Completion;
using pelorix::cli::completionOf;

std::string join(const std::vector<std::string>& words, const std::string& separator) {
  std::string text;
  for (const std::string& word : words)
    text += (text.empty() ? "" : separator) + word;
  return text;
}

// Every spelling of an option: "-o", "--output".
std::vector<std::string> spellings(const CLI::Option* option) {
  std::vector<std::string> names;
  for (const std::string& name : option->get_snames())
    names.push_back("-" + name);
  for (const std::string& name : option->get_lnames())
    names.push_back("--" + name);
  return names;
}

// A file name pattern in both letter cases: "@(png|PNG|jpg|JPG)".
std::string filePattern(const std::vector<std::string>& extensions, char open = '@') {
  std::set<std::string> both;
  for (const std::string& extension : extensions) {
    std::string upper = extension;
    for (char& c : upper)
      c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    both.insert(extension);
    both.insert(upper);
  }
  return std::string(1, open) + "(" + join({both.begin(), both.end()}, "|") + ")";
}

std::string bashValue(const Completion* completion) {
  if (!completion) return ":";
  if (!completion->choices.empty())
    return "COMPREPLY=($(compgen -W \"" + join(completion->choices, " ") + "\" -- \"$cur\"))";
  if (completion->extensions.empty()) return "_filedir";
  return "_filedir '" + filePattern(completion->extensions) + "'";
}

void writeBash(CLI::App& app, const std::vector<std::string>& commands) {
  std::cout << "# bash completion for pelorix-cli, made from its command line at build time\n\n"
               "_pelorix_cli() {\n"
               "  local cur prev command i\n"
               "  COMPREPLY=()\n"
               "  cur=${COMP_WORDS[COMP_CWORD]}\n"
               "  prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
               "  command=\n"
               "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
               "    case ${COMP_WORDS[i]} in\n"
               "      "
            << join(commands, " | ")
            << ") command=${COMP_WORDS[i]}; break ;;\n"
               "    esac\n"
               "  done\n"
               "  case $command:$prev in\n";
  std::vector<CLI::App*> scopes = {&app};
  for (CLI::App* command : app.get_subcommands({}))
    scopes.push_back(command);
  for (CLI::App* scope : scopes) {
    const std::string prefix = scope == &app ? "*" : scope->get_name();
    for (const CLI::Option* option : scope->get_options()) {
      if (option->get_positional() || option->get_expected_min() == 0) continue;
      std::vector<std::string> cases;
      for (const std::string& name : spellings(option))
        cases.push_back(prefix + ":" + name);
      std::cout << "    " << join(cases, " | ") << ") " << bashValue(completionOf(option))
                << "; return ;;\n";
    }
  }
  std::cout << "  esac\n"
               "  if [ -z \"$command\" ]; then\n"
               "    COMPREPLY=($(compgen -W \""
            << join(commands, " ")
            << " --help --version --lang\" -- \"$cur\"))\n"
               "    return\n"
               "  fi\n"
               "  case $command in\n";
  for (CLI::App* command : app.get_subcommands({})) {
    std::vector<std::string> names;
    const Completion* positional = nullptr;
    for (const CLI::Option* option : command->get_options()) {
      if (option->get_positional()) {
        if (!positional) positional = completionOf(option);
        continue;
      }
      for (const std::string& name : spellings(option))
        names.push_back(name);
    }
    std::cout << "    " << command->get_name() << ")\n"
              << "      if [[ $cur == -* ]]; then\n"
              << "        COMPREPLY=($(compgen -W \"" << join(names, " ") << "\" -- \"$cur\"))\n"
              << "      else\n"
              << "        " << bashValue(positional) << "\n"
              << "      fi ;;\n";
  }
  std::cout << "  esac\n}\ncomplete -F _pelorix_cli pelorix-cli\n";
}

// A description for zsh's brackets: no brackets, colons or quotes inside.
std::string zshText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '[' || c == '(') c = '{';
    if (c == ']' || c == ')') c = '}';
    if (c == '\'' || c == '\n') c = ' ';
    if (c == ':') out += '\\';
    out += c;
  }
  return out;
}

std::string zshValue(const Completion* completion) {
  if (!completion) return ":value: ";
  if (!completion->choices.empty()) return ":value:(" + join(completion->choices, " ") + ")";
  if (completion->extensions.empty()) return ":file:_files";
  return ":file:_files -g \"*." + filePattern(completion->extensions, ' ').substr(1) + "\"";
}

std::string zshSpecs(const CLI::App& scope) {
  std::string specs;
  int position = 0;
  for (const CLI::Option* option : scope.get_options()) {
    const Completion* completion = completionOf(option);
    if (option->get_positional()) {
      specs += " '" + std::to_string(++position) + ":" + zshText(option->get_name()) +
               zshValue(completion).substr(zshValue(completion).find(':', 1)) + "'";
      continue;
    }
    const std::vector<std::string> names = spellings(option);
    const std::string text = "[" + zshText(option->get_description()) + "]";
    const std::string value = option->get_expected_min() == 0 ? "" : zshValue(completion);
    if (names.size() == 1) {
      specs += " '" + names[0] + text + value + "'";
    } else {
      specs += " '(" + join(names, " ") + ")'{" + join(names, ",") + "}'" + text + value + "'";
    }
  }
  return specs;
}

void writeZsh(CLI::App& app, const std::vector<std::string>& commands) {
  std::cout << "#compdef pelorix-cli\n"
               "# zsh completion for pelorix-cli, made from its command line at build time\n\n"
               "_pelorix_cli_command() {\n"
               "  case $words[1] in\n";
  for (CLI::App* command : app.get_subcommands({})) {
    std::cout << "    " << command->get_name() << ")\n      _arguments" << zshSpecs(*command)
              << " ;;\n";
  }
  std::cout << "  esac\n}\n\n"
               "_arguments -C '--lang[language]:language:(ja en)' "
               "'(-V --version)'{-V,--version}'[print the version]' \\\n"
               "  '1:command:("
            << join(commands, " ") << ")' '*::argument:_pelorix_cli_command'\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string shell = argc > 1 ? argv[1] : "";
  if (shell != "bash" && shell != "zsh") {
    std::cerr << "usage: pelorix-cli-completions bash|zsh\n";
    return 64;
  }
  pelorix::initLanguage("en");
  CliApp cli;
  const std::vector<std::string> commands = cli.commandNames();
  if (shell == "bash") {
    writeBash(cli.app(), commands);
  } else {
    writeZsh(cli.app(), commands);
  }
  return 0;
}
