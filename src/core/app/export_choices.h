// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "app/ui_port.h"
#include "output/run_plan.h"

namespace pelorix {

// What the export dialog starts with: the project's own format, place and settings, every frame.
ExportValues defaultExport(const Project& project, const std::string& projectFolder);

// The choices of an export as one line for the settings file, and read back onto `values`
// (keys it does not know are skipped; the frame range is not kept, it follows the project).
std::string exportChoicesText(const ExportValues& values, const Project& project);
void applyExportChoices(const std::string& text, ExportValues& values);

// The run an export asks for, and the project it renders (a numbered GIF or WebP series stays a
// series whatever the project's one-file option says).
struct ExportRun {
  ConversionSettings settings;
  Project project;
};
ExportRun exportRun(const ExportValues& values, const Project& project);

// The export's path with the extension of its format when it has none of them (one file), so
// that the file is what the dialog chose.
std::string exportPath(const ExportValues& values);

}  // namespace pelorix
