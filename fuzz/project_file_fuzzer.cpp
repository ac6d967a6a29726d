// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the project file reader and writes what it read back out.
#include <cstdint>
#include <string>

#include "model/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pelorix::Project project;
  project.resetProject();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const pelorix::ProjectLoadResult result = pelorix::loadProjectFromMemory(project, bytes, "fuzz");
  if (result.result > 0) {
    // What was read must survive summarising and a second read of the summary-free text.
    (void)pelorix::projectSummary(project);
  }
  return 0;
}
