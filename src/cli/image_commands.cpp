// SPDX-License-Identifier: GPL-3.0-or-later
// pelorix-cli convert: decode one image and encode it again.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "commands.h"
#include "imageio/codec.h"
#include "imageio/dib_image.h"
#include "output/format_options.h"

namespace pelorix::cli {

CLI::Validator wholeNumber(int low, int high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        errno = 0;
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno != 0)
          return "'" + text + "' is not a whole number";
        if (value < low || value > high) {
          return formatC("%ld is not between %d and %d", value, low, high);
        }
        return {};
      },
      formatC("INT %d-%d", low, high));
}

std::vector<std::string> imageExtensions() {
  std::vector<std::string> extensions;
  for (const ImageCodec* codec : imageCodecs()) {
    for (std::string_view extension : codec->extensions())
      extensions.emplace_back(extension);
  }
  return extensions;
}

void addEncodeOptions(CLI::App& command, ImageEncodeOptions& options) {
  // The image codecs' settings, as the format table describes them.
  for (auto [option, field] : {std::pair{FormatOption::Quality, &ImageEncodeOptions::quality},
                               std::pair{FormatOption::PngLevel, &ImageEncodeOptions::pngLevel}}) {
    const FormatOptionInfo& info = formatOptionInfo(option);
    command.add_option(info.flag(), options.*field, _(info.help))
        ->check(wholeNumber(info.low, info.high));
  }
}

std::string describeFailure(const std::string& what, const ImageError& error) {
  return formatC("pelorix-cli: %s: %s", what.c_str(), error.errorMessage().c_str());
}

void addConvertCommand(CLI::App& app, Action& action) {
  struct Options {
    std::string input;
    std::string output;
    ImageEncodeOptions encode;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "convert", _("Decode an image and write it again; the type follows OUT's extension"));
  completes(command->add_option("IN", options->input, _("image to read"))->required(),
            Completion::filesWith(imageExtensions()));
  std::string written;
  for (const std::string& extension : imageExtensions())
    written += (written.empty() ? "." : " .") + extension;
  completes(
      command
          ->add_option("OUT", options->output, formatC(_("image to write (%s)"), written.c_str()))
          ->required(),
      Completion::filesWith(imageExtensions()));
  addEncodeOptions(*command, options->encode);
  command->callback([options, &action] {
    action = [options] {
      DibImage image;
      const ImageError loaded = image.load(options->input);
      if (loaded.failed()) {
        std::cerr << describeFailure(formatC(_("cannot read %s"), options->input.c_str()), loaded)
                  << '\n';
        return kExitFailure;
      }
      const ImageError saved = image.save(options->output, options->encode);
      if (saved.failed()) {
        std::cerr << describeFailure(formatC(_("cannot write %s"), options->output.c_str()), saved)
                  << '\n';
        return kExitFailure;
      }
      std::cerr << formatC(
          image.hasAlpha() ? _("%s: %d x %d, %d bits with alpha\n") : _("%s: %d x %d, %d bits\n"),
          options->input.c_str(), image.width(), image.height(), image.bitsPerPixel());
      return kExitOk;
    };
  });
}

}  // namespace pelorix::cli
