// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/project.h"

namespace pelorix {

// loadProject results besides the success value (number of layers read plus one).
inline constexpr int kLoadCannotOpen = -1;
inline constexpr int kLoadMalformed = -2;

// saveProject results.
inline constexpr int kSaveWritten = 0;
inline constexpr int kSaveNothing = -1;  // no layer in use: nothing written, file untouched
inline constexpr int kSaveFailed = -3;   // the file could not be written; the old one is intact

struct ProjectLoadResult {
  int result = 0;
  // The notice for the user when the load failed; empty on success. When the file cannot be
  // opened, `cause` says why ("No such file or directory", "Permission denied").
  std::string message;
  std::string cause;
  // The project summary, on success only.
  std::string summary;
  // What was read but may not be what the file meant (a log line each).
  std::vector<std::string> warnings;
  // Layers after the 16th, which a project cannot hold: left out, and said in `warnings`.
  int layersLeftOut = 0;
};

struct ProjectSaveResult {
  int result = kSaveWritten;
  std::string message;  // the notice for the user when the write failed
  // Log lines for texts that cannot come back as they are (a field separator inside).
  std::vector<std::string> warnings;
  TextEncoding encoding = TextEncoding::Utf8;  // what was written
};

// Reads a project file into `project` (which keeps what was read before a fault). A file that is
// valid UTF-8 is read as UTF-8, anything else as CP932; `project.fileEncoding` records which.
ProjectLoadResult loadProject(Project& project, const std::string& path);

// The same for file content already in memory; `path` only names the file in messages.
ProjectLoadResult loadProjectFromMemory(Project& project, std::string_view data,
                                        const std::string& path);

// Writes the project atomically, in `project.fileEncoding` (UTF-8 when a text has no CP932
// form), with CR LF line ends and numbers in the C locale. A CP932 file's texts keep the bytes
// they were read with.
ProjectSaveResult saveProject(const Project& project, const std::string& path);
// The bytes saveProject writes; nothing when there is nothing to write or it cannot be written
// (`outcome` says which and why).
std::optional<std::string> projectFileBytes(const Project& project, ProjectSaveResult& outcome);

// The field splitter of the reader: returns the text before the first comma, tab, slash or line
// feed and removes it with that separator from the line; a line without a separator is returned
// whole and stays as it is, so asking again gives the same text.
std::string nextToken(std::string& line);

// What the text after DATA_END: says: the settings of its extensions block (the path of "audio"
// with '/' between names), the other lines of that block as they are, and whatever follows the
// block. Lines end at a line feed (a carriage return before it is part of the line end); a lone
// carriage return is part of the text.
struct ExtensionTail {
  std::vector<std::pair<std::string, std::string>> settings;
  std::vector<std::string> otherLines;
  std::string after;  // the text after the block (all of it when there is no block)
};
ExtensionTail parseExtensionTail(std::string_view tail);

// The plain-text summary shown after a successful load, lines ended by line feeds.
std::string projectSummary(const Project& project);

// Splits file content into lines: LF, CR LF, and a lone CR that ends the line and takes the
// following byte along.
class LineReader {
 public:
  explicit LineReader(std::string_view data) : data_(data) {}
  // False at end of file; an empty line is a line.
  bool next(std::string& line);
  // What follows the last line read.
  std::string_view rest() const { return data_.substr(pos_); }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

}  // namespace pelorix
