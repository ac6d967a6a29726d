// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/motion_editing.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "app/frame_view.h"
#include "app/layer_list.h"
#include "app/session.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "render/motion_transform.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

using Point = std::complex<double>;

std::array<double, 2> neutralOf(MotionProperty property) {
  switch (property) {
    case MotionProperty::Scale:
    case MotionProperty::Opacity:
      return {1.0, 0.0};
    case MotionProperty::Position:
    case MotionProperty::Rotation:
      break;
  }
  return {0.0, 0.0};
}

// The index of the key at the frame of `t`, or -1.
int keyAtFrame(const MotionTrack& track, double t, double fps) {
  const double half = fps > 0.0 ? 0.5 / fps : 1e-6;
  for (size_t i = 0; i < track.keys.size(); ++i) {
    if (std::fabs(track.keys[i].time - t) < half) return static_cast<int>(i);
  }
  return -1;
}

void sortKeys(MotionTrack& track) {
  std::stable_sort(track.keys.begin(), track.keys.end(),
                   [](const MotionKey& a, const MotionKey& b) { return a.time < b.time; });
  track.measure();
}

}  // namespace

const MotionTrack* motionTrackOf(const ProjectMotion& motion, MotionTarget target) {
  if (target.camera()) {
    const CameraMotion& camera = motion.camera;
    switch (target.property) {
      case MotionProperty::Position:
        return &camera.position;
      case MotionProperty::Scale:
        return &camera.zoom;
      case MotionProperty::Rotation:
        return &camera.rotation;
      case MotionProperty::Opacity:
        return nullptr;
    }
    return nullptr;
  }
  const LayerMotion* layer = motion.layer(target.layer);
  if (!layer) return nullptr;
  switch (target.property) {
    case MotionProperty::Position:
      return &layer->position;
    case MotionProperty::Scale:
      return &layer->scale;
    case MotionProperty::Rotation:
      return &layer->rotation;
    case MotionProperty::Opacity:
      return &layer->opacity;
  }
  return nullptr;
}

void MotionEditing::setAutoKey(bool on) {
  autoKey_ = on;
  session_.port().refresh(RefreshButtons);
}

const MotionTrack* MotionEditing::track(MotionTarget target) const {
  const MotionTrack* found = motionTrackOf(session_.project().motion, target);
  return found && !found->empty() ? found : nullptr;
}

const char* MotionEditing::propertyName(MotionTarget target) {
  switch (target.property) {
    case MotionProperty::Position:
      return "position";
    case MotionProperty::Scale:
      return target.camera() ? "zoom" : "scale";
    case MotionProperty::Rotation:
      return "rotation";
    case MotionProperty::Opacity:
      return "opacity";
  }
  return "position";
}

std::array<double, 2> MotionEditing::valueAt(MotionTarget target, double t) const {
  const MotionTrack* keys = track(target);
  return keys ? keys->at(t) : neutralOf(target.property);
}

std::optional<MotionTrack> MotionEditing::trackCopy(MotionTarget target) const {
  if (const MotionTrack* keys = track(target)) return *keys;
  return std::nullopt;
}

void MotionEditing::store(MotionTarget target, const MotionTrack& keys) {
  const std::string name = propertyName(target);
  const std::string key = target.camera() ? "camera." + name : layerMotionKey(target.layer, name);
  session_.edit().setSetting(key, keys.empty() ? std::string() : formatTrack(keys));
}

void MotionEditing::changed() {
  session_.markModified();
  session_.port().refresh(RefreshTimeline | RefreshMotion);
  view_.redraw(view_.currentTime());
}

void MotionEditing::setKey(MotionTarget target, double t, std::array<double, 2> value) {
  if (target.camera() ? false : session_.project().findLayerByNumber(target.layer) < 0) return;
  if (target.camera() && target.property == MotionProperty::Opacity) return;
  Session::EditScope step(session_);
  const float fps = session_.project().fps;
  const double time = fps > 0.0f ? std::round(t * fps) / fps : t;
  MotionTrack keys = trackCopy(target).value_or(
      target.property == MotionProperty::Position ? MotionTrack::positions() : MotionTrack{});
  const int at = keyAtFrame(keys, time, fps);
  if (at >= 0) {
    keys.keys[static_cast<size_t>(at)].value = value;
  } else {
    MotionKey key;
    key.time = time;
    key.value = value;
    keys.keys.push_back(key);
    sortKeys(keys);
  }
  keys.measure();
  store(target, keys);
  changed();
}

void MotionEditing::deleteKeys(const std::vector<KeyRef>& refs) {
  if (refs.empty()) return;
  Session::EditScope step(session_);
  std::vector<KeyRef> sorted = refs;
  // From the last index down, so that the others keep theirs.
  std::sort(sorted.begin(), sorted.end(),
            [](const KeyRef& a, const KeyRef& b) { return a.index > b.index; });
  std::vector<MotionTarget> done;
  for (const KeyRef& ref : sorted) {
    if (std::find(done.begin(), done.end(), ref.target) != done.end()) continue;
    done.push_back(ref.target);
    std::optional<MotionTrack> keys = trackCopy(ref.target);
    if (!keys) continue;
    for (const KeyRef& other : sorted) {
      if (other.target == ref.target && other.index >= 0 &&
          other.index < static_cast<int>(keys->keys.size())) {
        keys->keys.erase(keys->keys.begin() + other.index);
      }
    }
    keys->measure();
    store(ref.target, *keys);
  }
  selected_.clear();
  changed();
}

void MotionEditing::setCurve(const std::vector<KeyRef>& refs, const Curve& curve) {
  if (refs.empty()) return;
  Session::EditScope step(session_);
  for (const KeyRef& ref : refs) {
    std::optional<MotionTrack> keys = trackCopy(ref.target);
    if (!keys || ref.index < 0 || ref.index >= static_cast<int>(keys->keys.size())) continue;
    keys->keys[static_cast<size_t>(ref.index)].curve = curve;
    store(ref.target, *keys);
  }
  changed();
}

void MotionEditing::shiftKeys(const std::vector<KeyRef>& refs, int frames) {
  const float fps = session_.project().fps;
  if (refs.empty() || frames == 0 || !(fps > 0.0f)) return;
  Session::EditScope step(session_);
  std::vector<MotionTarget> done;
  for (const KeyRef& ref : refs) {
    if (std::find(done.begin(), done.end(), ref.target) != done.end()) continue;
    done.push_back(ref.target);
    std::optional<MotionTrack> keys = trackCopy(ref.target);
    if (!keys) continue;
    // The moved keys of this track go by whole frames; none passes over a key that stays, or
    // goes before 0.
    std::vector<bool> moved(keys->keys.size(), false);
    for (const KeyRef& other : refs) {
      if (other.target == ref.target && other.index >= 0 &&
          other.index < static_cast<int>(moved.size())) {
        moved[static_cast<size_t>(other.index)] = true;
      }
    }
    for (size_t i = 0; i < keys->keys.size(); ++i) {
      if (!moved[i]) continue;
      double time = std::round(keys->keys[i].time * fps + frames) / fps;
      time = std::max(0.0, time);
      if (i > 0 && !moved[i - 1]) time = std::max(time, keys->keys[i - 1].time + 1.0 / fps);
      if (i + 1 < keys->keys.size() && !moved[i + 1])
        time = std::min(time, keys->keys[i + 1].time - 1.0 / fps);
      keys->keys[i].time = time;
    }
    keys->measure();
    store(ref.target, *keys);
  }
  changed();
}

void MotionEditing::setKeyAt(const KeyRef& ref, double time, std::array<double, 2> value) {
  std::optional<MotionTrack> keys = trackCopy(ref.target);
  if (!keys || ref.index < 0 || ref.index >= static_cast<int>(keys->keys.size())) return;
  Session::EditScope step(session_);
  MotionKey& key = keys->keys[static_cast<size_t>(ref.index)];
  const double before =
      ref.index > 0 ? keys->keys[static_cast<size_t>(ref.index) - 1].time : -1e300;
  const double after = ref.index + 1 < static_cast<int>(keys->keys.size())
                           ? keys->keys[static_cast<size_t>(ref.index) + 1].time
                           : 1e300;
  const float fps = session_.project().fps;
  const double frame = fps > 0.0f ? 1.0 / fps : 0.0;
  if (fps > 0.0f) time = std::round(time * fps) / fps;
  key.time = std::clamp(std::max(0.0, time), before + frame, after - frame);
  key.value = value;
  keys->measure();
  store(ref.target, *keys);
  changed();
}

void MotionEditing::setTangents(const KeyRef& ref, std::optional<std::array<double, 4>> tangents) {
  std::optional<MotionTrack> keys = trackCopy(ref.target);
  if (!keys || !keys->vector || ref.index < 0 || ref.index >= static_cast<int>(keys->keys.size())) {
    return;
  }
  Session::EditScope step(session_);
  keys->keys[static_cast<size_t>(ref.index)].tangents = tangents;
  keys->measure();
  store(ref.target, *keys);
  changed();
}

void MotionEditing::selectKeys(std::vector<KeyRef> keys) {
  selected_ = std::move(keys);
  session_.port().refresh(RefreshTimeline);
}

void MotionEditing::copyKeys() {
  clipboard_.clear();
  double first = 1e300;
  for (const KeyRef& ref : selected_) {
    const MotionTrack* keys = track(ref.target);
    if (keys && ref.index >= 0 && ref.index < static_cast<int>(keys->keys.size()))
      first = std::min(first, keys->keys[static_cast<size_t>(ref.index)].time);
  }
  for (const KeyRef& ref : selected_) {
    const MotionTrack* keys = track(ref.target);
    if (!keys || ref.index < 0 || ref.index >= static_cast<int>(keys->keys.size())) continue;
    MotionKey key = keys->keys[static_cast<size_t>(ref.index)];
    key.time -= first;
    clipboard_.push_back({ref.target.property, key});
  }
}

void MotionEditing::pasteKeys(double t) {
  if (clipboard_.empty()) return;
  const int index = layerIndex();
  const int layer = index >= 0 ? session_.project().layers[static_cast<size_t>(index)].number : 0;
  Session::EditScope step(session_);
  const float fps = session_.project().fps;
  for (const Copied& copied : clipboard_) {
    const MotionTarget target{layer, copied.property};
    if (target.camera() && copied.property == MotionProperty::Opacity) continue;
    MotionTrack keys = trackCopy(target).value_or(
        copied.property == MotionProperty::Position ? MotionTrack::positions() : MotionTrack{});
    MotionKey key = copied.key;
    key.time = fps > 0.0f ? std::round((t + key.time) * fps) / fps : t + key.time;
    if (!keys.vector) key.tangents.reset();
    const int at = keyAtFrame(keys, key.time, fps);
    if (at >= 0) {
      keys.keys[static_cast<size_t>(at)] = key;
    } else {
      keys.keys.push_back(key);
    }
    sortKeys(keys);
    store(target, keys);
  }
  changed();
}

void MotionEditing::setPivot(int layer, std::optional<std::array<double, 2>> pivot) {
  if (session_.project().findLayerByNumber(layer) < 0) return;
  Session::EditScope step(session_);
  session_.edit().setSetting(layerMotionKey(layer, "pivot"), pivot ? formatPivot(*pivot) : "");
  changed();
}

bool MotionEditing::setParent(int layer, int parent) {
  const Project& project = session_.project();
  if (project.findLayerByNumber(layer) < 0) return false;
  if (const std::string problem = project.parentProblem(layer, parent); !problem.empty()) {
    session_.port().notice(problem);
    return false;
  }
  Session::EditScope step(session_);
  session_.edit().setSetting(layerMotionKey(layer, "parent"),
                             parent != 0 ? std::to_string(parent) : std::string());
  changed();
  return true;
}

std::array<double, 2> MotionEditing::neutralValue(MotionProperty property) {
  return neutralOf(property);
}

int MotionEditing::layerIndex() const {
  return lists_.currentLayer();
}

void MotionEditing::changeValueAt(MotionTarget target, double t, std::array<double, 2> value,
                                  const std::optional<MotionTrack>& before) {
  if (autoKey_) {
    // setKey works from the project's track, which this drag may have changed already: start
    // again from the track as it was.
    MotionTrack keys = before.value_or(
        target.property == MotionProperty::Position ? MotionTrack::positions() : MotionTrack{});
    store(target, keys);
    setKey(target, t, value);
    return;
  }
  MotionTrack keys = before.value_or(
      target.property == MotionProperty::Position ? MotionTrack::positions() : MotionTrack{});
  const std::array<double, 2> old = before ? before->at(t) : neutralOf(target.property);
  if (keys.keys.empty()) {
    MotionKey key;
    key.value = value;
    keys.keys.push_back(key);
  } else {
    for (MotionKey& key : keys.keys) {
      if (target.property == MotionProperty::Scale && old[0] != 0.0) {
        key.value[0] *= value[0] / old[0];
      } else {
        key.value[0] += value[0] - old[0];
        key.value[1] += value[1] - old[1];
      }
    }
  }
  keys.measure();
  Session::EditScope step(session_);
  store(target, keys);
  changed();
}

}  // namespace pelorix
