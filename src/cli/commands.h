#pragma once

#include <functional>

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

// Each subcommand registers itself and leaves the code to run in `action`.
using Action = std::function<int()>;

void addInfoCommand(CLI::App& app, Action& action);
void addSaveAsCommand(CLI::App& app, Action& action);

}  // namespace pelorix::cli
