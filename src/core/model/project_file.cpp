// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/project_file.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/i18n.h"

namespace pelorix {
namespace {

constexpr std::string_view kSeparators(",\t/\n", 4);

// Turns the raw bytes of one field into a UTF-8 text, and remembers the CP932 bytes a write
// would not give back.
class FieldDecoder {
 public:
  FieldDecoder(TextEncoding encoding, Cp932Originals& originals)
      : encoding_(encoding), originals_(originals) {}
  std::string text(const std::string& raw) const {
    if (encoding_ != TextEncoding::Cp932) return raw;
    std::string decoded = cp932ToUtf8(raw);
    const std::optional<std::string> back = utf8ToCp932(decoded);
    if (!back || *back != raw) originals_.bytes.emplace(decoded, raw);
    return decoded;
  }
  // Path fields are stored with backslashes between names; slashes in memory.
  std::string path(const std::string& raw) const {
    std::string value = text(raw);
    for (char& c : value) {
      if (c == '\\') c = '/';
    }
    return value;
  }

 private:
  TextEncoding encoding_;
  Cp932Originals& originals_;
};

class ProjectReader {
 public:
  ProjectReader(Project& project, std::string_view data, TextEncoding encoding)
      : project_(project), lines_(data), decode_(encoding, project.cp932Originals) {}

  // kLoadMalformed or the success result.
  int read() {
    if (!nextLine() || line_ != "PELORIX_PROJECT:") return kLoadMalformed;
    if (!nextLine()) return kLoadMalformed;
    project_.name = decode_.text(nextToken(line_));
    if (!nextLine()) return kLoadMalformed;
    const size_t fields =
        std::count_if(line_.begin(), line_.end(),
                      [](char c) { return kSeparators.find(c) != std::string_view::npos; }) +
        1;
    project_.saveFolder = decode_.path(nextToken(line_));
    project_.saveFileName = decode_.text(nextToken(line_));
    project_.outputFormat = decode_.text(nextToken(line_));
    if (fields > 3) {
      // A folder written with '/' is read as several fields, and nothing else says so.
      warnings.push_back(
          formatC(_("警告: 3 行目に %zu 個の欄があります。保存フォルダ「%s」、"
                    "保存ファイル名「%s」、出力形式「%s」と読みました (フォルダの区切り"
                    "には \\ を使います)。"),
                  fields, project_.saveFolder.c_str(), project_.saveFileName.c_str(),
                  project_.outputFormat.c_str()));
    }
    if (!nextLine()) return kLoadMalformed;
    project_.fps = narrowToFloat(cAtof(nextToken(line_)));
    project_.outputWidth = cAtoi(nextToken(line_));
    // The project options are an optional fourth field: only a separator after the height
    // says it is there (asking nextToken again would give the height once more).
    const bool optionsField = line_.find_first_of(kSeparators) != std::string::npos;
    project_.outputHeight = cAtoi(nextToken(line_));
    project_.options = optionsField ? cAtoi(nextToken(line_)) : 0;

    for (int index = 0;; ++index) {
      if (!nextLine()) return kLoadMalformed;
      if (line_ == "DATA_END:") {
        readExtensions();
        return project_.layerCount + 1;
      }
      if (!readLayer(project_.layers[static_cast<size_t>(index)])) return kLoadMalformed;
      project_.layerCount = index + 1;
      if (project_.layerCount == kMaxLayers) {
        if (countLayersLeftOut()) readExtensions();
        return project_.layerCount + 1;
      }
    }
  }

  std::vector<std::string> warnings;
  int layersLeftOut = 0;

 private:
  bool nextLine() { return lines_.next(line_); }

  // A project keeps 16 layers; what follows up to DATA_END: is counted, so that it can be said.
  // True when DATA_END: was found.
  bool countLayersLeftOut() {
    bool end = false;
    while (nextLine()) {
      if (line_ == "DATA_END:") {
        end = true;
        break;
      }
      if (line_ == "LAYER_END:") ++layersLeftOut;
    }
    if (layersLeftOut > 0) {
      warnings.push_back(formatC(_("警告: レイヤーは %d 個までです。ファイルの残り %d 個の"
                                   "レイヤーは読み込んでいません。"),
                                 kMaxLayers, layersLeftOut));
    }
    return end;
  }

  // Everything after DATA_END:, kept as it is, and the settings of its extensions block.
  void readExtensions() {
    project_.extensionTail = decode_.text(std::string(lines_.rest()));
    project_.extensions = parseExtensionTail(project_.extensionTail).settings;
    project_.refreshMotion();
  }

  // Reads from line L1 (already in line_) to "LAYER_END:".
  bool readLayer(Layer& layer) {
    layer.number = cAtoi(nextToken(line_));
    layer.name = decode_.text(nextToken(line_));
    if (!nextLine()) return false;
    layer.visible = cAtoi(nextToken(line_));
    layer.effects = cAtoi(nextToken(line_));
    if (!nextLine()) return false;
    layer.keyColor.blue = static_cast<uint8_t>(cAtoi(nextToken(line_)));
    layer.keyColor.green = static_cast<uint8_t>(cAtoi(nextToken(line_)));
    layer.keyColor.red = static_cast<uint8_t>(cAtoi(nextToken(line_)));
    layer.keyColor.reserved = static_cast<uint8_t>(cAtoi(nextToken(line_)));
    if (!nextLine()) return false;
    layer.reserved1 = cAtoi(nextToken(line_));
    layer.reserved2 = cAtoi(nextToken(line_));

    float sum = 0.0f;
    for (;;) {
      if (!nextLine()) return false;
      if (line_ == "LAYER_END:") {
        layer.totalDuration = sum;
        return true;
      }
      Source source;
      source.file = decode_.path(nextToken(line_));
      if (!nextLine()) return false;
      float* const values[] = {&source.duration,  &source.x,        &source.y,
                               &source.scale,     &source.rotation, &source.opacity,
                               &source.reserved1, &source.reserved2};
      for (float* value : values)
        *value = narrowToFloat(cAtof(nextToken(line_)));
      if (source.opacity > 1.0f) source.opacity = 1.0f;
      if (!nextLine()) return false;
      source.flags = cAtoi(nextToken(line_));
      source.pluginText = decode_.text(nextToken(line_));
      layer.sources.push_back(std::move(source));
      sum += layer.sources.back().duration;
    }
  }

  Project& project_;
  LineReader lines_;
  FieldDecoder decode_;
  std::string line_;
};

// Builds the file text in an encoding and collects warnings for texts that will not read back as
// they are.
class ProjectWriter {
 public:
  ProjectWriter(std::vector<std::string>& warnings, TextEncoding encoding,
                const Cp932Originals& originals)
      : warnings_(warnings), encoding_(encoding), originals_(originals) {}

  // A text had no CP932 form / held bytes that are not text.
  bool notCp932() const { return notCp932_; }
  bool notUtf8() const { return notUtf8_; }

  std::string write(const Project& project) {
    line("PELORIX_PROJECT:");
    line(text(project.name, _("プロジェクト名"), "/"));
    line(path(project.saveFolder, _("保存フォルダ")) + "," +
         text(project.saveFileName, _("保存ファイル名"), "/") + "," +
         text(project.outputFormat, _("出力形式"), "/"));
    // Options only when there are any, so files without extensions stay as they were.
    line(formatC("%.2f,%d,%d", static_cast<double>(project.fps), project.outputWidth,
                 project.outputHeight) +
         (project.options != 0 ? formatC(",%d", project.options) : std::string()));
    for (int i = 0; i < project.layerCount; ++i) {
      const Layer& layer = project.layers[static_cast<size_t>(i)];
      line(formatC("%d,", layer.number) + text(layer.name, _("レイヤ名"), "/"));
      line(formatC("%d,%d", layer.visible, layer.effects));
      line(formatC("%d,%d,%d,%d", layer.keyColor.blue, layer.keyColor.green, layer.keyColor.red,
                   layer.keyColor.reserved));
      line(formatC("%d,%d", layer.reserved1, layer.reserved2));
      for (const Source& s : layer.sources) {
        line(path(s.file, _("ファイル名")));
        line(formatC("%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f", static_cast<double>(s.duration),
                     static_cast<double>(s.x), static_cast<double>(s.y),
                     static_cast<double>(s.scale), static_cast<double>(s.rotation),
                     static_cast<double>(s.opacity), static_cast<double>(s.reserved1),
                     static_cast<double>(s.reserved2)));
        line(formatC("%d,", s.flags) + text(s.pluginText, _("プラグイン"), "/"));
      }
      line("LAYER_END:");
    }
    line("DATA_END:");
    writeExtensions(project);
    return std::move(out_);
  }

 private:
  void line(const std::string& content) {
    out_ += content;
    out_ += "\r\n";
  }

  // The text after DATA_END: as it was read while it says what the settings are; otherwise the
  // extensions block written anew, keeping the lines of it that are no settings and whatever
  // followed it.
  void writeExtensions(const Project& project) {
    const ExtensionTail read = parseExtensionTail(project.extensionTail);
    if (read.settings == project.extensions) {
      out_ += encode(project.extensionTail);
      return;
    }
    if (!project.extensions.empty() || !read.otherLines.empty()) {
      line("PELORIX_EXTENSIONS:");
      for (const auto& [key, value] : project.extensions)
        line(key + "=" + (key == "audio" ? path(value, "audio") : encode(value)));
      for (const std::string& other : read.otherLines)
        line(encode(other));
      line("EXTENSIONS_END:");
    }
    out_ += encode(read.after);
  }

  std::string text(const std::string& value, const char* label, const char* extraSeparators) {
    return encode(checked(value, label, extraSeparators));
  }

  std::string path(const std::string& value, const char* label) {
    std::string result = checked(value, label, "");
    for (char& c : result) {
      if (c == '/') c = '\\';
    }
    return encode(result);
  }

  // A field in the file's encoding. In CP932 a text keeps the bytes its file gave it (some
  // characters have two CP932 forms); one without a CP932 form makes the file UTF-8, and one
  // holding bytes that are not text cannot be UTF-8.
  std::string encode(const std::string& utf8) {
    if (encoding_ == TextEncoding::Utf8) {
      if (hasByteEscapes(utf8)) notUtf8_ = true;
      return utf8;
    }
    if (const auto known = originals_.bytes.find(utf8); known != originals_.bytes.end())
      return known->second;
    std::optional<std::string> bytes = utf8ToCp932(utf8);
    if (!bytes) {
      notCp932_ = true;
      return utf8;
    }
    return std::move(*bytes);
  }

  // A text field written as it is. A separator inside it will cut it when read back, which is
  // only reported; a line break would shift every later line, so it becomes a blank.
  std::string checked(const std::string& value, const char* label, const char* extraSeparators) {
    std::string result = value;
    bool lineBreak = false;
    for (char& c : result) {
      if (c == '\r' || c == '\n') {
        c = ' ';
        lineBreak = true;
      }
    }
    if (lineBreak) {
      warnings_.push_back(
          formatC(_("警告: %sの改行を空白に置き換えて保存します: %s"), label, result.c_str()));
    }
    if (result.find_first_of(std::string(",\t") + extraSeparators) != std::string::npos) {
      warnings_.push_back(
          formatC(_("警告: %s「%s」は区切り文字 (, タブ /) を含むため、読み込み時にそこで切れます"),
                  label, result.c_str()));
    }
    return result;
  }

  std::vector<std::string>& warnings_;
  TextEncoding encoding_;
  const Cp932Originals& originals_;
  std::string out_;
  bool notCp932_ = false;
  bool notUtf8_ = false;
};

}  // namespace

ExtensionTail parseExtensionTail(std::string_view tail) {
  ExtensionTail parsed;
  size_t at = 0;
  // The line at `at` without its end, and `at` moved past it.
  auto nextLine = [&tail, &at](std::string_view& text) {
    if (at >= tail.size()) return false;
    const size_t end = std::min(tail.find('\n', at), tail.size());
    text = tail.substr(at, end - at);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    at = end + 1;
    return true;
  };
  std::string_view line;
  if (!nextLine(line) || line != "PELORIX_EXTENSIONS:") {
    parsed.after = std::string(tail);
    return parsed;
  }
  while (nextLine(line) && line != "EXTENSIONS_END:") {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) {
      parsed.otherLines.emplace_back(line);
      continue;
    }
    std::string value(line.substr(equals + 1));
    if (line.substr(0, equals) == "audio") std::replace(value.begin(), value.end(), '\\', '/');
    parsed.settings.emplace_back(std::string(line.substr(0, equals)), std::move(value));
  }
  if (at < tail.size()) parsed.after = std::string(tail.substr(at));
  return parsed;
}

bool LineReader::next(std::string& line) {
  if (pos_ >= data_.size()) return false;
  const size_t end = data_.find_first_of("\r\n", pos_);
  if (end == std::string_view::npos) {
    line.assign(data_.substr(pos_));
    pos_ = data_.size();
    return true;
  }
  line.assign(data_.substr(pos_, end - pos_));
  pos_ = end + 1;
  if (data_[end] == '\r' && pos_ < data_.size()) {
    if (data_[pos_] != '\n') line += data_[pos_];  // a lone CR takes the next byte along
    ++pos_;
  }
  return true;
}

std::string nextToken(std::string& line) {
  const size_t at = line.find_first_of(kSeparators);
  if (at == std::string::npos) return line;
  std::string token = line.substr(0, at);
  line.erase(0, at + 1);
  return token;
}

std::string projectSummary(const Project& project) {
  std::string text = project.name + "\n";
  text += formatC(_("保存フォルダ %s 保存ファイル名 %s 種類 %s\n"), project.saveFolder.c_str(),
                  project.saveFileName.c_str(), project.outputFormat.c_str());
  text += formatC("X=%d Y=%d FPS=%f\n", project.outputWidth, project.outputHeight,
                  static_cast<double>(project.fps));
  for (int i = 0; i < project.layerCount; ++i) {
    const Layer& layer = project.layers[static_cast<size_t>(i)];
    text += formatC(_(" レイヤ名=%s   枚数=%d\n"), layer.name.c_str(),
                    static_cast<int>(layer.sources.size()));
    text += formatC(_(" 表示=%d 効果=%d\n"), layer.visible, layer.effects);
  }
  return text;
}

namespace {

void clearLayers(Project& project) {
  project.layerCount = 0;
  project.extensions.clear();
  project.extensionTail.clear();
  project.motion = ProjectMotion{};
  for (Layer& layer : project.layers) {
    layer.number = 0;
    layer.sources.clear();
  }
}

}  // namespace

ProjectLoadResult loadProjectFromMemory(Project& project, std::string_view data,
                                        const std::string& path) {
  clearLayers(project);
  ProjectLoadResult outcome;
  project.fileEncoding = isValidUtf8(data) ? TextEncoding::Utf8 : TextEncoding::Cp932;
  project.cp932Originals = {};
  ProjectReader reader(project, data, project.fileEncoding);
  outcome.result = reader.read();
  outcome.warnings = std::move(reader.warnings);
  outcome.layersLeftOut = reader.layersLeftOut;
  if (outcome.result == kLoadMalformed) {
    outcome.message = formatC(_("[%s] layerinfoファイルが異常です"), path.c_str());
  } else {
    outcome.summary = projectSummary(project);
    for (std::string& problem : project.motionProblems())
      outcome.warnings.push_back(std::move(problem));
  }
  return outcome;
}

ProjectLoadResult loadProject(Project& project, const std::string& path) {
  clearLayers(project);  // before the file is opened, so a failed open leaves no layer
  FileError error;
  const std::optional<std::string> data = readFileBytes(path, &error);
  if (!data) {
    ProjectLoadResult outcome;
    outcome.result = kLoadCannotOpen;
    outcome.message = formatC(_("[%s] layerinfoファイルが開けません"), path.c_str());
    outcome.cause = error.message;
    return outcome;
  }
  return loadProjectFromMemory(project, *data, path);
}

std::optional<std::string> projectFileBytes(const Project& project, ProjectSaveResult& outcome) {
  if (project.layerCount == 0) {
    outcome.result = kSaveNothing;
    return std::nullopt;
  }
  if (project.fileEncoding == TextEncoding::Cp932) {
    std::vector<std::string> warnings;
    ProjectWriter writer(warnings, TextEncoding::Cp932, project.cp932Originals);
    std::string content = writer.write(project);
    if (!writer.notCp932()) {
      outcome.warnings.insert(outcome.warnings.end(), warnings.begin(), warnings.end());
      outcome.encoding = TextEncoding::Cp932;
      return content;
    }
    outcome.warnings.push_back(
        _("警告: CP932で表せない文字があるため、プロジェクトファイルをUTF-8で保存します"));
  }
  ProjectWriter writer(outcome.warnings, TextEncoding::Utf8, project.cp932Originals);
  std::string content = writer.write(project);
  outcome.encoding = TextEncoding::Utf8;
  if (writer.notUtf8()) {
    // Bytes that came from a CP932 file and are no text (a Latin-1 name) have no UTF-8 form.
    outcome.result = kSaveFailed;
    outcome.message =
        _("プロジェクトに文字でないバイト (CP932 ファイルの Latin-1 の名前など) "
          "があるため、UTF-8 では保存できません。CP932 で保存してください。");
    return std::nullopt;
  }
  return content;
}

ProjectSaveResult saveProject(const Project& project, const std::string& path) {
  ProjectSaveResult outcome;
  const std::optional<std::string> bytes = projectFileBytes(project, outcome);
  if (!bytes) return outcome;
  const std::string& content = *bytes;
  const std::string folder = resolveSymlinks(path);
  removeStaleTemporaries(folder.substr(0, folder.find_last_of('/') + 1));
  FileError error;
  if (!writeFileAtomically(path, {reinterpret_cast<const uint8_t*>(content.data()), content.size()},
                           Durability::Sync, &error)) {
    outcome.result = kSaveFailed;
    outcome.message = formatC(_("[%s] layerinfoファイルが保存できません"), path.c_str());
    outcome.warnings.push_back(error.message);
  }
  return outcome;
}

}  // namespace pelorix
