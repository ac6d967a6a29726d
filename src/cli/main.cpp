#include <CLI/CLI.hpp>

#include <iostream>

#include "commands.h"
#include "pelorix_version.h"

int main(int argc, char** argv) {
  CLI::App app{"pelorix-cli: compose, render and inspect Pelorix projects"};
  app.require_subcommand(1);
  app.set_version_flag("-V,--version", std::string("pelorix-cli ") + PELORIX_VERSION);
  pelorix::cli::Action action;
  pelorix::cli::addInfoCommand(app, action);
  pelorix::cli::addSaveAsCommand(app, action);
  pelorix::cli::addConvertCommand(app, action);
  pelorix::cli::addFrameCommand(app, action);
  pelorix::cli::addRenderCommand(app, action);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  return action ? action() : pelorix::cli::kExitFailure;
}
