// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/motion.h"
#include "model/text_encoding.h"

namespace pelorix {

inline constexpr int kMaxLayers = 16;

// Layer effect bits.
inline constexpr int effectInterpolate = 1;
inline constexpr int effectColorKey = 2;
inline constexpr int effectAlpha = 4;  // use the picture's transparency

// Project option bits (stored as an optional fourth field of the frame line).
inline constexpr int projectTransparentBackground = 1;  // frames start transparent, not black
inline constexpr int projectAnimatedFile = 2;           // gif and webp output as one animated file

// Source flag bits.
inline constexpr int sourceAutoCalc = 1;

// A transparent colour in the byte order of a 24-bit pixel.
struct KeyColor {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;

  friend bool operator==(const KeyColor&, const KeyColor&) = default;
};

// The bytes a CP932 file gave texts whose CP932 form is not the one Pelorix writes (characters
// CP932 has two codes for): a save in CP932 writes them back as they came. What the file looked
// like, not what the project is: it never makes two projects differ.
struct Cp932Originals {
  std::map<std::string, std::string> bytes;  // the UTF-8 text -> the file's bytes
  friend bool operator==(const Cp932Originals&, const Cp932Originals&) { return true; }
};

// One keyframe of a layer: an image shown for `duration` seconds at a placement.
struct Source {
  std::string file = "-";
  float duration = 0.0f;
  float x = 0.0f;
  float y = 0.0f;
  float scale = 1.0f;
  float rotation = 0.0f;
  float opacity = 1.0f;
  float reserved1 = 0.0f;
  float reserved2 = 0.0f;
  int flags = sourceAutoCalc;
  std::string pluginText;

  friend bool operator==(const Source&, const Source&) = default;
};

struct Layer {
  int number = 0;
  std::string name = "-";
  int visible = 0;
  int effects = 0;
  KeyColor keyColor;
  // Sum of the source durations, kept incrementally by the source operations (so it may differ
  // from a fresh sum in the last bits after edits); recomputed only when a file is read.
  float totalDuration = 0.0f;
  int reserved1 = 0;
  int reserved2 = 0;
  std::vector<Source> sources;

  friend bool operator==(const Layer&, const Layer&) = default;
};

// The whole animation: output settings and 16 layer slots, of which the first `layerCount` are
// in use. Operations never show anything; the commands that call them mark the project modified.
struct Project {
  std::array<Layer, kMaxLayers> layers;
  int layerCount = 0;
  std::string name;
  std::string saveFileName;
  float fps = 30.0f;
  int outputWidth = 320;
  int outputHeight = 240;
  std::string saveFolder;
  std::string outputFormat;
  int options = 0;  // project option bits
  // The encoding of the file the project came from; new projects are written as UTF-8.
  TextEncoding fileEncoding = TextEncoding::Utf8;
  Cp932Originals cp932Originals;
  // The extensions block after DATA_END: key=value settings of the whole project, in their
  // order; keys Pelorix does not know are kept as they are.
  std::vector<std::pair<std::string, std::string>> extensions;
  // Everything the file held after its DATA_END: line, as read (in memory's UTF-8): written back
  // unchanged while `extensions` says what it said, so lines and blocks Pelorix does not read
  // stay byte for byte; otherwise the block is written anew around them.
  std::string extensionTail;
  // What the extensions block says of motion (model/motion.h), kept up to date with it by
  // setSetting() and a load; refreshMotion() after changing `extensions` directly.
  ProjectMotion motion;
  void refreshMotion();

  // A setting of the extensions block: its value, or `fallback` when it is not set.
  std::string setting(std::string_view key, std::string_view fallback = {}) const;
  // Sets (or, with an empty value, removes) a setting.
  void setSetting(std::string_view key, const std::string& value);

  // Every field to its default, no layer in use.
  void resetProject();
  // Index of a fresh layer slot appended at the end, or -1 when all 16 slots are in use.
  int addLayer();
  // Removes a layer; later layers move down one slot. Out-of-range indices are ignored.
  void removeLayerAt(int index);
  // Index of the first layer in use with that number, or -1.
  int findLayerByNumber(int number) const;
  // The index of the layer whose transform follows that of layer `index` (its parent), or -1:
  // none, a parent that is no layer of the project, or a layer on a circle of parents (whose
  // parents are all ignored).
  int parentIndex(int index) const;
  // What the motion lines say that cannot be used: lines that do not read, missing parents,
  // circles of parents. One line each, for the log.
  std::vector<std::string> motionProblems() const;
  // The motion lines follow a layer whose number changes (its keys and its children's parent),
  // or go with a layer that is removed (children of it lose their parent).
  // Why layer `layer` may not follow `parent` (a circle of parents), or empty when it may.
  std::string parentProblem(int layer, int parent) const;
  void renumberLayerMotion(int from, int to);
  void removeLayerMotion(int number);

  // The source operations take indices the caller got from the model (layer 0..layerCount-1,
  // source 0..count-1; an insert position may equal the count).
  int addSource(int layerIndex, const Source& source);
  int addSource(int layerIndex, const Source& source, int position);
  void removeSourceAt(int layerIndex, int sourceIndex);
  void replaceSourceAt(int layerIndex, int sourceIndex, const Source& source);
  // Takes the source at `from` out and inserts it before position `to` of the shortened list.
  void moveSource(int layerIndex, int from, int to);

  friend bool operator==(const Project&, const Project&) = default;
};

// The values of a fresh layer slot.
Layer freshLayer();

// The same animation for a frame `factor` times the size (the frame size is the caller's): every
// placement's offset and scale, and the motion's positions, pivots and camera, times `factor`;
// turns, zooms and opacities stay.
void scaleComposition(Project& project, double factor);

}  // namespace pelorix
