// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace pelorix::cli {

// Exit statuses of pelorix-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;     // any other failure (image, folder, save, usage)
inline constexpr int kExitCannotOpen = 2;  // the project file cannot be opened
inline constexpr int kExitMalformed = 3;   // the project file is malformed
inline constexpr int kExitAborted = 4;     // interrupted by the user
inline constexpr int kExitIncomplete = 5;  // written, but pictures were missing
inline constexpr int kExitUsage = 64;      // the command line is wrong (sysexits EX_USAGE)

// Each subcommand registers itself and leaves the code to run in `action`.
using Action = std::function<int()>;

void addInfoCommand(CLI::App& app, Action& action);
void addSaveAsCommand(CLI::App& app, Action& action);
void addConvertCommand(CLI::App& app, Action& action);
void addFrameCommand(CLI::App& app, Action& action);
void addRenderCommand(CLI::App& app, Action& action);
void addJoinCommand(CLI::App& app, Action& action);

}  // namespace pelorix::cli

namespace pelorix {
struct ImageEncodeOptions;
struct Project;
class ImageError;
namespace cli {
// --quality and --png-level.
void addEncodeOptions(CLI::App& command, ImageEncodeOptions& options);
// The extensions of every picture type Pelorix reads and writes.
std::vector<std::string> imageExtensions();
// A whole number in [low, high], with a plain message for anything else.
CLI::Validator wholeNumber(int low, int high);
// Loads the project of a command; the exit status to return when it failed (the message is
// printed), nothing on success. A malformed file is a failure too: what it
// would give is only part of the project.
// Its warnings are printed too; `layersLeftOut` gets how many layers beyond 16 the file has.
std::optional<int> loadForCommand(const std::string& path, Project& project,
                                  int* layersLeftOut = nullptr);
// "pelorix-cli: cannot write x.png: cause"
std::string describeFailure(const std::string& what, const ImageError& error);
}  // namespace cli
}  // namespace pelorix
