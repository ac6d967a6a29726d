// SPDX-License-Identifier: GPL-3.0-or-later
// pelorix-cli frame: one composed frame at a time point.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "app.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "commands.h"
#include "imageio/codec.h"
#include "model/project_file.h"
#include "output/output_file.h"
#include "output/output_files.h"
#include "output/run_plan.h"
#include "render/compositor.h"
#include "render/draw_list.h"
#include "render_report.h"
#include "stderr_log.h"

namespace pelorix::cli {

namespace {

struct FrameOptions {
  std::string project;
  double at = 0.0;
  std::string output;
  std::optional<int> layer;
  bool keepGoing = false;
  std::string format;
  ImageEncodeOptions encode;
};

// The picture into standard output, of the type --format names (PNG without one).
ImageError writeToStandardOutput(const DibImage& canvas, const FrameOptions& o) {
  const ImageCodec* codec = o.format.empty() ? &pngCodec() : codecForExtension(o.format);
  if (!codec) return ImageError(E_FAIL, "no picture type " + o.format);
  std::vector<uint8_t> bytes;
  if (ImageError encoded = codec->encode(canvas, o.encode, bytes); encoded.failed()) return encoded;
  OutputFile out;
  if (ImageError opened = out.open("-"); opened.failed()) return opened;
  return out.put(bytes.data(), bytes.size());
}

int runFrame(const FrameOptions& o) {
  if (o.output == "-" && isatty(STDOUT_FILENO)) {
    std::cerr << _(
        "pelorix-cli: -o - writes the picture to standard output, which is a terminal "
        "here; pipe it into a program or give a file\n");
    return kExitUsage;
  }
  if (!o.format.empty() && !codecForExtension(o.format)) {
    std::cerr << formatC(_("pelorix-cli: unknown picture type %s\n"), o.format.c_str());
    return kExitUsage;
  }
  Project project;
  if (const auto failed = loadForCommand(o.project, project)) return *failed;
  StderrLog log;
  Compositor compositor(log);
  compositor.setProjectFolder(folderOf(o.project));
  std::vector<int> layers;
  if (o.layer) {
    const int index = project.findLayerByNumber(*o.layer);
    if (index < 0) {
      std::cerr << formatC(_("pelorix-cli: the project has no layer numbered %d\n"), *o.layer);
      return kExitFailure;
    }
    layers.push_back(index);
  } else {
    layers = buildDrawList(project).layers;
  }
  const float t = static_cast<float>(o.at);
  // What cannot work is said once, before anything is decoded.
  std::string problem = frameSizeProblem(project.outputWidth, project.outputHeight);
  if (problem.empty())
    problem = memoryProblem(frameMemoryNeed(project, layers, t, folderOf(o.project)));
  if (!problem.empty()) {
    std::cerr << "pelorix-cli: " << problem << '\n';
    return kExitFailure;
  }
  DibImage canvas;
  if (!compositor.composeFrame(canvas, project, layers, t)) {
    // Nothing drew at this moment: the frame is black.
    if (!compositor.makeBlankFrame(canvas, project)) return kExitFailure;  // said in the log
  }
  // Like render, any depth of missing folders is made.
  ImageError saved;
  if (o.output == "-") {
    saved = writeToStandardOutput(canvas, o);
  } else if (FileError error; !makeFolders(folderOf(o.output), &error)) {
    saved = ImageError(E_FAIL, error.message);
  } else if (!o.format.empty()) {
    saved = canvas.save(o.output, *codecForExtension(o.format), o.encode);
  } else {
    saved = canvas.save(o.output, o.encode);
  }
  if (saved.failed()) {
    std::cerr << describeFailure(formatC(_("cannot write %s"), o.output.c_str()), saved) << '\n';
    return kExitFailure;
  }
  std::vector<ConversionSummary::Missing> missing;
  for (const MissingPicture& picture : compositor.missingPictures())
    missing.push_back({picture.layerNumber, picture.file, 1});
  const bool incomplete = reportMissingPictures(missing.empty() ? 0 : 1, missing);
  return incomplete && !o.keepGoing ? kExitIncomplete : kExitOk;
}

}  // namespace

void addFrameCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<FrameOptions>();
  CLI::App* command = app.add_subcommand(
      "frame", _("Compose the frame at a time point and save it; the type follows the extension"));
  completes(command->add_option("PROJECT", options->project, _("project file (.pxp)"))->required(),
            Completion::filesWith({"pxp"}));
  command->add_option("--at", options->at, _("time point in seconds"))
      ->required()
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            char* end = nullptr;
            const double value = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(value) || value < 0.0) {
              return "'" + text + "' is not a time in seconds (a number, 0 or more)";
            }
            return {};
          },
          "SECONDS"));
  completes(command
                ->add_option("-o,--output", options->output,
                             _("image file to write; - for standard output"))
                ->required(),
            Completion::filesWith(imageExtensions()));
  completes(command->add_option("--format", options->format,
                                _("picture type instead of the file name's (png on standard "
                                  "output)")),
            Completion::values(imageExtensions()));
  command->add_option("--layer", options->layer,
                      _("draw only the layer with this number (single mode), shown or not"));
  addEncodeOptions(*command, options->encode);
  command->add_flag("--keep-going", options->keepGoing,
                    _("exit 0 even when pictures were missing (they are still reported)"));
  command->callback([options, &action] { action = [options] { return runFrame(*options); }; });
}

}  // namespace pelorix::cli
