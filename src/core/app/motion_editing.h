// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "model/motion.h"

namespace pelorix {

class FrameView;
class LayerList;
class Session;

// A keyed property; the camera's Scale is its zoom.
enum class MotionProperty { Position, Scale, Rotation, Opacity };
inline constexpr int kMotionProperties = 4;

// Whose property: a layer by its number, or the camera (0).
struct MotionTarget {
  int layer = 0;
  MotionProperty property = MotionProperty::Position;
  bool camera() const { return layer == 0; }
  friend bool operator==(const MotionTarget&, const MotionTarget&) = default;
};

// The keys of `motion` that hold a property (null for the camera's opacity).
const MotionTrack* motionTrackOf(const ProjectMotion& motion, MotionTarget target);

struct KeyRef {
  MotionTarget target;
  int index = 0;
  friend bool operator==(const KeyRef&, const KeyRef&) = default;
};

// Editing motion: keys of a layer's properties and of the camera, their curves and a position's
// tangents, a layer's pivot and parent; the keys selected in the timeline and the curve editor,
// copied and pasted. Every change is one undo step, a drag one
// step from its start to its end, and is written into the project's motion lines.
class MotionEditing {
 public:
  MotionEditing(Session& session, LayerList& lists, FrameView& view)
      : session_(session), lists_(lists), view_(view) {}

  // With auto-key on, a change at the playhead sets a key there (or moves the one there); off,
  // it changes the property at all times (every key alike, or a single key).
  bool autoKey() const { return autoKey_; }
  void setAutoKey(bool on);

  // The keys of a target (null when it has none), and what a property is called in the file.
  const MotionTrack* track(MotionTarget target) const;
  static const char* propertyName(MotionTarget target);
  // A property's value at `t` (its neutral value without keys).
  std::array<double, 2> valueAt(MotionTarget target, double t) const;

  // A key at the frame of `t` (added, or the one there given the value).
  void setKey(MotionTarget target, double t, std::array<double, 2> value);
  void deleteKeys(const std::vector<KeyRef>& keys);
  void setCurve(const std::vector<KeyRef>& keys, const Curve& curve);
  // Moves keys by whole frames (a key stays after the one before it and before the next).
  void shiftKeys(const std::vector<KeyRef>& keys, int frames);
  // One key's time and value (the curve editor), and a position key's tangents (the path).
  void setKeyAt(const KeyRef& key, double time, std::array<double, 2> value);
  void setTangents(const KeyRef& key, std::optional<std::array<double, 4>> tangents);

  const std::vector<KeyRef>& selectedKeys() const { return selected_; }
  void selectKeys(std::vector<KeyRef> keys);
  // The selected keys onto the clipboard; pasted at `t` onto the same properties of the layer
  // selected now (or the camera's).
  void copyKeys();
  void pasteKeys(double t);
  bool canPaste() const { return !clipboard_.empty(); }

  void setPivot(int layer, std::optional<std::array<double, 2>> pivot);
  // The parent of a layer (0: none); refused, and said, when it would make a circle.
  bool setParent(int layer, int parent);

  // A property's value at `t` becomes `value`. With auto-key a key there; without, every key of
  // the track as it was (`before`) moved alike (a single key when there was none). Scales are
  // multiplied, the others added to.
  void changeValueAt(MotionTarget target, double t, std::array<double, 2> value,
                     const std::optional<MotionTrack>& before);
  // The keys of a target, copied (none when it has none).
  std::optional<MotionTrack> trackCopy(MotionTarget target) const;
  // The value a property has without keys.
  static std::array<double, 2> neutralValue(MotionProperty property);
  // The current layer (selected in the tree), or -1.
  int layerIndex() const;

 private:
  // Writes a track back into the project's lines (an empty track removes the line).
  void store(MotionTarget target, const MotionTrack& track);
  void changed();

  Session& session_;
  LayerList& lists_;
  FrameView& view_;
  bool autoKey_ = true;
  std::vector<KeyRef> selected_;
  struct Copied {
    MotionProperty property;
    MotionKey key;  // its time relative to the first copied key
  };
  std::vector<Copied> clipboard_;
};

}  // namespace pelorix
