// SPDX-License-Identifier: GPL-3.0-or-later
#include <exception>
#include <iostream>
#include <string>
#include <string_view>

#include "app.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/process.h"

namespace {

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
  pelorix::openStandardDescriptors();
  try {
    // The language first: the help texts are made when the commands are registered.
    const std::string language = languageOption(argc, argv);
    pelorix::initLanguage(language);
    if (!language.empty() && !pelorix::languageFound()) {
      std::cerr << pelorix::formatC(pelorix::_("pelorix-cli: there are no messages in '%s'; "
                                               "they are shown in %s\n"),
                                    language.c_str(),
                                    pelorix::activeLanguage() == "ja" ? "ja" : "en");
    }
    pelorix::cli::CliApp cli;
    return cli.run(argc, argv);
  } catch (const std::exception& error) {
    // Nothing may end the program without a word; this is a failure like any other.
    std::cerr << "pelorix-cli: " << error.what() << '\n';
    return 1;
  }
}
