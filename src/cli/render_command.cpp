// SPDX-License-Identifier: GPL-3.0-or-later
// pelorix-cli render: every frame of a project (or a range of them) as numbered image files or
// one animated or video file.
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "app.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "commands.h"
#include "export_options.h"
#include "imageio/codec.h"
#include "model/project_file.h"
#include "output/conversion_engine.h"
#include "output/formats.h"
#include "output/output_files.h"
#include "render_hooks.h"
#include "render_report.h"
#include "stop_signals.h"

namespace pelorix::cli {
namespace {

thread_local RenderHooks* hooks = nullptr;

}  // namespace

ScopedRenderHooks::ScopedRenderHooks(RenderHooks& given) : before_(hooks) {
  hooks = &given;
}

ScopedRenderHooks::~ScopedRenderHooks() {
  hooks = before_;
}

namespace {

// Prints the run on stderr. Log lines are printed as they come, failures always (each distinct
// one once, however many frames repeat it), everything else not with --quiet. Progress is a bar
// on a terminal, otherwise a line every 5 % (every frame with --verbose).
class CliListener final : public ConversionListener {
 public:
  CliListener(bool quiet, bool verbose, bool terminal)
      : quiet_(quiet), verbose_(verbose), terminal_(terminal) {}

  void appendLog(const std::string& line) override {
    std::lock_guard lock(mutex_);
    if (isFailureLine(line)) {
      if (++repeats_[line] > 1) return;
    } else if (quiet_) {
      return;
    }
    clearBar();
    std::cerr << terminalText(line) << '\n';
    lastLine_ = line;
  }

  void progress(int, int done, int total) override {
    std::lock_guard lock(mutex_);
    done_ = done;
    total_ = total;
    if (quiet_ || !terminal_) return;
    const double elapsed = seconds();
    const double rate = elapsed > 0 ? done / elapsed : 0.0;
    const double left = rate > 0 ? (total - done) / rate : 0.0;
    const int width = 30;
    const int filled = total > 0 ? done * width / total : width;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(width, '.');
    std::cerr << '\r'
              << formatC(_("[%s] frame %d of %d  %.1f fps  %.0f s left "), bar.c_str(), done, total,
                         rate, left)
              << std::flush;
    barShown_ = true;
  }

  void frameWritten(int, const std::string& path, const DibImage*) override {
    std::lock_guard lock(mutex_);
    if (quiet_ || terminal_) return;
    if (verbose_) {
      std::cerr << formatC(_("frame %d of %d: %s\n"), done_, total_, path.c_str());
      return;
    }
    const int step = total_ > 0 ? done_ * 20 / total_ : 20;  // twentieths
    // The whole is said when the run has ended: a video's encoder may still be at work.
    if (step > lastStep_ && step < 20) {
      lastStep_ = step;
      std::cerr << formatC(_("frame %d of %d (%d %%)\n"), done_, total_, step * 5);
    }
  }

  void finishing() override {
    std::lock_guard lock(mutex_);
    if (quiet_ || !terminal_) return;
    clearBar();
    std::cerr << '\r' << formatC(_("frame %d of %d: writing the end of the file"), done_, total_)
              << std::flush;
    barShown_ = true;
  }

  void finished(ConversionOutcome outcome, const std::string& message) override {
    std::lock_guard lock(mutex_);
    clearBar();
    outcome_ = outcome;
    if (outcome == ConversionOutcome::Completed && !quiet_ && !terminal_ && !verbose_ &&
        total_ > 0 && done_ == total_) {
      std::cerr << formatC(_("frame %d of %d (%d %%)\n"), done_, total_, 100);
    }
    // The reason of a refusal or failure, even with --quiet (once: it may have been logged).
    if (!message.empty() && message != lastLine_ && repeats_.find(message) == repeats_.end()) {
      std::cerr << terminalText(message) << '\n';
    }
  }

  ConversionOutcome outcome() const { return outcome_; }
  int framesDone() const { return done_; }
  std::pair<int, int> doneOfTotal() {
    std::lock_guard lock(mutex_);
    return {done_, total_};
  }
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  void clearBar() {
    if (barShown_) std::cerr << "\r\033[K";
    barShown_ = false;
  }

  std::mutex mutex_;
  bool quiet_;
  bool verbose_;
  bool terminal_;
  bool barShown_ = false;
  int done_ = 0;
  int total_ = 0;
  int lastStep_ = 0;
  std::map<std::string, int> repeats_;
  std::string lastLine_;
  ConversionOutcome outcome_ = ConversionOutcome::Refused;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

bool parseRange(const std::string& text, std::pair<int, int>& range) {
  const size_t dash = text.find('-', 1);
  try {
    size_t used = 0;
    if (dash == std::string::npos) {
      range.first = range.second = std::stoi(text, &used);
      return used == text.size() && range.first >= 0;
    }
    range.first = std::stoi(text.substr(0, dash), &used);
    if (used != dash) return false;
    const std::string tail = text.substr(dash + 1);
    range.second = std::stoi(tail, &used);
    return used == tail.size() && range.first >= 0 && range.second >= range.first;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

namespace {

struct RenderOptions {
  std::string project;
  std::string output;
  std::string name;
  std::string format;
  std::string frames;
  int jobs = 0;
  bool skipExisting = false;
  bool allowGif = false;
  bool keepGoing = false;
  bool quiet = false;
  bool verbose = false;
  std::string background;
  ExportOptions exporting;
};

void registerOptions(CLI::App& command, RenderOptions& o) {
  completes(command.add_option("PROJECT", o.project, _("project file (.pxp)"))->required(),
            Completion::filesWith({"pxp"}));
  std::vector<std::string> oneFile;
  for (const OutputFormat& format : outputFormats()) {
    if (format.kind == OutputKind::OneFile) oneFile.emplace_back(format.extension());
  }
  completes(command.add_option(
                "-o,--output", o.output,
                formatC(_("output folder; one file when the name ends in %s; numbered files "
                          "named by a pattern such as shot%%04d.png; - for standard output "
                          "(default: the project's save folder and format)"),
                        formatExtensions(OutputKind::OneFile).c_str())),
            Completion::filesWith(oneFile));
  command.add_option("--name", o.name, _("base name of the files (default: the project's)"));
  std::vector<std::string> names;
  for (const OutputFormat& format : outputFormats()) {
    if (std::find(names.begin(), names.end(), format.name) == names.end())
      names.emplace_back(format.name);
  }
  completes(command.add_option("--format", o.format,
                               formatC(_("file type: %s (numbered files), or %s (one file)"),
                                       formatNames(OutputKind::Series).c_str(),
                                       formatNames(OutputKind::OneFile).c_str())),
            Completion::values(names))
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (findOutputFormat(text, OutputKind::Series) ||
                findOutputFormat(text, OutputKind::OneFile)) {
              return {};
            }
            return formatC(_("unknown format '%s' (known: %s, %s)"), text.c_str(),
                           formatNames(OutputKind::Series).c_str(),
                           formatNames(OutputKind::OneFile).c_str());
          },
          "FORMAT"));
  command.add_option("--frames", o.frames,
                     _("only frames FIRST-LAST (inclusive, as numbered in the file names)"));
  command.add_option("--jobs", o.jobs, _("worker threads (default: one per processor)"))
      ->check(wholeNumber(0, 4096));
  withChoices(command.add_option("--background", o.background,
                                 _("black or transparent (default: the project's setting)")),
              {"black", "transparent"});
  addExportOptions(command, o.exporting);
  command.add_flag("--skip-existing", o.skipExisting,
                   _("leave frames whose file exists alone (resume an interrupted render)"));
  command.add_flag("--allow-gif", o.allowGif, _("write GIF files, which are refused otherwise"));
  command.add_flag("--keep-going", o.keepGoing,
                   _("exit 0 even when pictures or the sound track were missing (they are still "
                     "reported)"));
  command.add_flag("-q,--quiet", o.quiet, _("print failures and their summary only"));
  command.add_flag("-v,--verbose", o.verbose,
                   _("without a terminal, a line per frame instead of one per 5 %"));
}

int usage(const std::string& message) {
  std::cerr << "pelorix-cli: " << message << '\n';
  return kExitUsage;
}

// Where -o sends the frames: standard output, one file, files named by a pattern or a folder; the
// exit status of a usage error instead.
std::optional<int> chooseOutput(const RenderOptions& o, ConversionSettings& settings) {
  if (o.output == "-") {
    if (isatty(STDOUT_FILENO)) {
      return usage(
          _("-o - writes pictures to standard output, which is a terminal here; pipe it "
            "into a program (| ffmpeg -i - ...) or give a file"));
    }
    settings.oneFile = "-";
    return std::nullopt;
  }
  std::error_code error;
  const std::string output = std::filesystem::absolute(o.output, error).string();
  if (error) {
    std::cerr << formatC(_("pelorix-cli: cannot tell where -o %s is: %s\n"), o.output.c_str(),
                         error.message().c_str());
    return kExitFailure;
  }
  const std::string name = fileNameOf(output);
  if (name.find('%') != std::string::npos) {
    if (const std::string problem = namePatternProblem(name); !problem.empty()) {
      return usage(problem);
    }
    const std::string_view extension = fileExtension(name);
    if (!extension.empty() && o.format.empty()) {
      if (!findOutputFormat(extension, OutputKind::Series)) {
        return usage(formatC(_("%s: numbered files are of type %s, not %.*s"), o.output.c_str(),
                             formatNames(OutputKind::Series).c_str(),
                             static_cast<int>(extension.size()), extension.data()));
      }
      settings.format = std::string(extension.substr(1));
    }
    settings.outputFolder = folderOf(output);
    settings.namePattern = name;
    return std::nullopt;
  }
  if (oneFileFormatOfPath(output)) {
    settings.oneFile = output;
    return std::nullopt;
  }
  const std::string_view extension = fileExtension(name);
  const bool folder = o.output.back() == '/' || std::filesystem::is_directory(output, error);
  if (!extension.empty() && !folder) {
    if (findOutputFormat(extension, OutputKind::Series)) {
      return usage(formatC(
          _("-o %s names one picture: for numbered files give a pattern such as %.*s%%04d%.*s or "
            "a folder; for one frame use pelorix-cli frame"),
          o.output.c_str(), static_cast<int>(name.size() - extension.size()), name.data(),
          static_cast<int>(extension.size()), extension.data()));
    }
    return usage(formatC(_("-o %s: unknown file type %.*s; one file is one of %s, numbered files "
                           "go to a folder (end its name with / when it has a dot)"),
                         o.output.c_str(), static_cast<int>(extension.size()), extension.data(),
                         formatExtensions(OutputKind::OneFile).c_str()));
  }
  settings.outputFolder = output;
  return std::nullopt;
}

// The settings of the run; the exit status of a usage error instead.
std::optional<int> settingsOf(const RenderOptions& o, ConversionSettings& settings) {
  settings.projectFolder = folderOf(o.project);
  if (!o.output.empty()) {
    if (const auto failed = chooseOutput(o, settings)) return failed;
  }
  if (const std::string problem = applyExportOptions(o.exporting, settings); !problem.empty()) {
    return usage(problem);
  }
  if (!o.background.empty()) settings.transparentBackground = o.background == "transparent";
  if (!o.name.empty()) settings.baseName = o.name;
  if (!o.format.empty()) settings.format = o.format;
  if (!o.name.empty() && !settings.namePattern.empty()) {
    return usage(_("--name and a name pattern in -o both name the files: give one"));
  }
  if (!o.frames.empty()) {
    std::pair<int, int> range;
    if (!parseRange(o.frames, range)) {
      std::cerr << _("pelorix-cli: --frames takes FIRST-LAST, for example 0-99\n");
      return kExitUsage;
    }
    settings.frames = range;
  }
  settings.jobs = o.jobs;
  settings.skipExisting = o.skipExisting;
  settings.refuseGif = !o.allowGif;
  return std::nullopt;
}

// Plans the run and runs it until it ends, aborting it on Ctrl-C or SIGTERM; false (with the
// reason printed) when the plan refused an option's value.
bool runEngine(ConversionEngine& engine, const Project& project, const ConversionSettings& settings,
               CliListener& listener) {
  PlanOutcome planned = planRun(project, settings);
  if (!planned.plan) {
    reportRefusal(planned, listener);
    return !planned.badOption;
  }
  // A caller in this process watches for its own stop.
  std::optional<StopSignals> signals;
  if (!hooks) signals.emplace();
  const bool started = engine.launch(std::move(*planned.plan), std::move(planned.log), listener);
  while (started && engine.running()) {
    if (hooks) {
      if (hooks->progress) {
        const auto [done, total] = listener.doneOfTotal();
        hooks->progress(done, total);
      }
      if (hooks->stop && hooks->stop()) engine.abort();
    } else if (signals->stop().load()) {
      engine.abort();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  engine.wait();
  return true;
}

// Without -o the project's save folder takes the frames; when that is a place nobody may write
// to (an installed example under /usr/share), -o is the way out, and the render says so.
bool saveFolderWritable(const std::string& folder) {
  std::string existing = folder.empty() ? "." : folder;
  while (!fileExists(existing)) {
    while (existing.size() > 1 && existing.back() == '/')
      existing.pop_back();
    const size_t slash = existing.find_last_of('/');
    existing = slash == std::string::npos ? "." : slash == 0 ? "/" : existing.substr(0, slash);
  }
  return ::access(existing.c_str(), W_OK) == 0;
}

int runRender(const RenderOptions& o) {
  Project project;
  if (hooks && hooks->project) {
    project = *hooks->project;
  } else if (const auto failed = loadForCommand(o.project, project)) {
    return *failed;
  }
  ConversionSettings settings;
  if (const auto failed = settingsOf(o, settings)) return *failed;
  if (o.output.empty()) {
    const std::string folder = joinPath(settings.projectFolder, project.saveFolder);
    if (!saveFolderWritable(folder)) {
      std::cerr << formatC(_("pelorix-cli: the project's save folder %s cannot be written here; "
                             "give -o FOLDER (or -o FILE) to render elsewhere\n"),
                           folder.c_str());
      return kExitFailure;
    }
  }
  CliListener listener(o.quiet, o.verbose, isatty(STDERR_FILENO) != 0);
  ConversionEngine engine;
  if (!runEngine(engine, project, settings, listener)) return kExitUsage;

  const ConversionSummary summary = engine.summary();
  bool incomplete = reportMissingPictures(summary.framesWithMissingPictures, summary.missing);
  if (!summary.audioProblem.empty()) {
    std::cerr << formatC(_("pelorix-cli: the sound track is missing or damaged: %s\n"),
                         summary.audioProblem.c_str());
    incomplete = true;
  }
  const std::string folder =
      settings.oneFile
          ? *settings.oneFile
          : joinPath(settings.projectFolder, settings.outputFolder.value_or(project.saveFolder));
  if (hooks) hooks->framesDone = listener.framesDone();
  switch (listener.outcome()) {
    case ConversionOutcome::Completed: {
      const double seconds = listener.seconds();
      if (!o.quiet) {
        // Standard output carries the pictures when they go there.
        std::ostream& out = settings.oneFile == "-" ? std::cerr : std::cout;
        out << formatC(_("%d frames in %.2f s (%.1f frames per second) in %s\n"),
                       listener.framesDone(), seconds,
                       seconds > 0 ? listener.framesDone() / seconds : 0.0,
                       folder.empty() ? "." : folder.c_str());
      }
      return incomplete && !o.keepGoing ? kExitIncomplete : kExitOk;
    }
    case ConversionOutcome::Aborted:
      std::cerr << formatC(_("pelorix-cli: interrupted after %d frames\n"), listener.framesDone());
      return kExitAborted;
    case ConversionOutcome::Failed:
    case ConversionOutcome::Refused:
      return kExitFailure;
  }
  return kExitFailure;
}

}  // namespace

void addRenderCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* command = app.add_subcommand(
      "render", _("Render every frame of a project into numbered image files or one file"));
  registerOptions(*command, *options);
  command->callback([options, &action] { action = [options] { return runRender(*options); }; });
}

}  // namespace pelorix::cli
