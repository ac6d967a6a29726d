// SPDX-License-Identifier: GPL-3.0-or-later
// pelorix-cli join: the parts of one render, made with render --frames on many machines, put
// together into one video without encoding a frame again.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "app.h"
#include "base/i18n.h"
#include "commands.h"
#include "output/formats.h"
#include "output/parts.h"
#include "stop_signals.h"

namespace pelorix::cli {

void addJoinCommand(CLI::App& app, Action& action) {
  struct Options {
    std::vector<std::string> parts;
    std::string output;
    bool quiet = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "join", _("Put the parts of one render (render --frames A-B -o part.mkv) together into one "
                "video, in frame order, without encoding again"));
  std::vector<std::string> videos;
  for (const OutputFormat& format : outputFormats()) {
    if (format.kind == OutputKind::OneFile && format.joinable()) {
      for (std::string_view extension : format.extensions())
        videos.emplace_back(extension);
    }
  }
  completes(command->add_option("PART", options->parts, _("the parts, in any order"))->required(),
            Completion::filesWith(videos));
  completes(
      command->add_option("-o,--output", options->output, _("the video to write"))->required(),
      Completion::filesWith(videos));
  command->add_flag("-q,--quiet", options->quiet, _("print failures only"));
  command->callback([options, &action] {
    action = [options] {
      std::vector<std::string> log;
      // Ctrl-C, SIGTERM and SIGHUP stop the join; what it wrote is removed.
      StopSignals signals;
      const std::string failed = joinParts(options->parts, options->output, log, &signals.stop());
      if (signals.stop().load()) {
        std::cerr << _("pelorix-cli: join interrupted; nothing was written") << '\n';
        return kExitAborted;
      }
      if (!failed.empty()) {
        std::cerr << "pelorix-cli: " << failed << '\n';
        return kExitFailure;
      }
      if (!options->quiet) {
        for (const std::string& line : log)
          std::cerr << line << '\n';
      }
      return kExitOk;
    };
  });
}

}  // namespace pelorix::cli
