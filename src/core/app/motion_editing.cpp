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

std::array<double, 2> neutral(MotionProperty property) {
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

// The keys of `motion` that hold a property.
const MotionTrack* trackIn(const ProjectMotion& motion, MotionTarget target) {
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

constexpr double kTurnStep = 15.0;  // degrees a constrained turn goes by
constexpr double kScaleStep = 0.1;

}  // namespace

void MotionEditing::setAutoKey(bool on) {
  autoKey_ = on;
  session_.port().refresh(RefreshButtons);
}

const MotionTrack* MotionEditing::track(MotionTarget target) const {
  const MotionTrack* found = trackIn(session_.project().motion, target);
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
  return keys ? keys->at(t) : neutral(target.property);
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
  session_.port().refresh(RefreshTimeline);
  view_.redraw(view_.currentTime());
}

void MotionEditing::beginGesture() {
  ++gestures_;
}

void MotionEditing::endGesture() {
  if (gestures_ == 0) return;
  if (--gestures_ == 0) Session::EditScope edit(session_);  // records the step
}

namespace {

// One edit's undo scope, kept open while a gesture goes on.
class StepScope {
 public:
  StepScope(Session& session, bool gesture) : scope_(session) {
    if (gesture) scope_.keepOpen();
  }

 private:
  Session::EditScope scope_;
};

}  // namespace

void MotionEditing::setKey(MotionTarget target, double t, std::array<double, 2> value) {
  if (target.camera() ? false : session_.project().findLayerByNumber(target.layer) < 0) return;
  if (target.camera() && target.property == MotionProperty::Opacity) return;
  StepScope step(session_, gestures_ > 0);
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
  StepScope step(session_, gestures_ > 0);
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
  StepScope step(session_, gestures_ > 0);
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
  StepScope step(session_, gestures_ > 0);
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
  StepScope step(session_, gestures_ > 0);
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
  StepScope step(session_, gestures_ > 0);
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
  StepScope step(session_, gestures_ > 0);
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
  StepScope step(session_, gestures_ > 0);
  session_.edit().setSetting(layerMotionKey(layer, "pivot"), pivot ? formatPivot(*pivot) : "");
  changed();
}

bool MotionEditing::setParent(int layer, int parent) {
  const Project& project = session_.project();
  if (project.findLayerByNumber(layer) < 0) return false;
  // Up from the parent: reaching the layer would make a circle.
  for (int at = parent, steps = 0; at != 0 && steps <= kMaxLayers; ++steps) {
    if (at == layer) {
      session_.port().notice(
          formatC(_("レイヤー %d の親を %d にすると親が輪になります。"), layer, parent));
      return false;
    }
    const LayerMotion* motion = project.motion.layer(at);
    at = motion ? motion->parent : 0;
  }
  StepScope step(session_, gestures_ > 0);
  session_.edit().setSetting(layerMotionKey(layer, "parent"),
                             parent != 0 ? std::to_string(parent) : std::string());
  changed();
  return true;
}

int MotionEditing::layerIndex() const {
  return lists_.currentLayer();
}

std::array<double, 2> MotionEditing::framePoint(std::complex<double> point) const {
  const Project& project = session_.project();
  return {static_cast<double>(project.outputWidth / 2) + point.real(),
          static_cast<double>(project.outputHeight / 2) + point.imag()};
}

MotionEditing::Handles MotionEditing::handles() const {
  Handles shown;
  const int index = layerIndex();
  const Project& project = session_.project();
  if (index < 0) return shown;
  const float t = view_.currentTime();
  const CurrentSource current = currentSourceAt(project, index, t);
  if (!current.found()) return shown;
  const Layer& layer = project.layers[static_cast<size_t>(index)];
  const Placement placed =
      applyMotion(project, index, placementAt(layer, current.index, current.fraction), t);
  const LayerMotionFrame frame = motionFrame(project, index, t);
  const LayerMotion* own = project.motion.layer(layer.number);
  const Point pivot =
      own && own->pivot ? storedToPoint(*own->pivot) * project.motion.spatialScale : Point{};
  shown.shown = true;
  shown.pivot = framePoint(frame.outer(frame.own(pivot)));
  // The picture's corners, from the size the preview last drew it at.
  const DibImage& picture = view_.compositor().cache().image(index);
  const double w = picture.empty() ? 64.0 : picture.width();
  const double h = picture.empty() ? 64.0 : picture.height();
  const Point centre{-static_cast<double>(placed.x), -static_cast<double>(placed.y)};
  const Point turn = static_cast<double>(placed.scale) *
                     std::polar(1.0, static_cast<double>(placed.rotation) * kDegreesToRadians);
  const Point halves[] = {{-w / 2, -h / 2}, {w / 2, -h / 2}, {w / 2, h / 2}, {-w / 2, h / 2}};
  for (size_t i = 0; i < 4; ++i)
    shown.corners[i] = framePoint(centre + turn * halves[i]);
  const Point top = centre + turn * Point{0.0, -h / 2};
  const Point outward = top - centre;
  const Point knob =
      top + (std::abs(outward) > 0.0 ? outward / std::abs(outward) * 24.0 : Point{0, -24});
  shown.rotate = framePoint(knob);
  return shown;
}

void MotionEditing::beginHandle(Handle handle, double x, double y) {
  const int index = layerIndex();
  if (index < 0) return;
  const Project& project = session_.project();
  const int number = project.layers[static_cast<size_t>(index)].number;
  Drag drag;
  drag.handle = handle;
  drag.layer = number;
  drag.t = view_.currentTime();
  drag.start = {x - project.outputWidth / 2, y - project.outputHeight / 2};
  drag.position = trackCopy({number, MotionProperty::Position});
  drag.scale = trackCopy({number, MotionProperty::Scale});
  drag.rotation = trackCopy({number, MotionProperty::Rotation});
  if (const LayerMotion* own = project.motion.layer(number)) drag.pivot = own->pivot;
  drag_ = drag;
  beginGesture();
}

// A property's value at the drag's time becomes `value`: a key at the playhead (auto-key), or
// every key of the track as it was at the drag's start moved alike (a single key when there was
// none). Scales are multiplied, the others added to.
void MotionEditing::changeAt(MotionTarget target, double t, std::array<double, 2> value,
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
  const std::array<double, 2> old = before ? before->at(t) : neutral(target.property);
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
  StepScope step(session_, true);
  store(target, keys);
  changed();
}

void MotionEditing::dragHandle(double x, double y, bool constrain) {
  if (!drag_) return;
  const Project& project = session_.project();
  const int index = project.findLayerByNumber(drag_->layer);
  if (index < 0) return;
  const Drag& d = *drag_;
  const Point now{x - project.outputWidth / 2, y - project.outputHeight / 2};
  // The frame of the drag's start: where the layer's own changes land on the screen.
  Project before = project;
  const auto restore = [&](MotionProperty property, const std::optional<MotionTrack>& keys) {
    const std::string name = propertyName({d.layer, property});
    before.setSetting(layerMotionKey(d.layer, name), keys ? formatTrack(*keys) : "");
  };
  restore(MotionProperty::Position, d.position);
  restore(MotionProperty::Scale, d.scale);
  restore(MotionProperty::Rotation, d.rotation);
  before.setSetting(layerMotionKey(d.layer, "pivot"), d.pivot ? formatPivot(*d.pivot) : "");
  const LayerMotionFrame frame = motionFrame(before, index, d.t);
  const double spatial = project.motion.spatialScale;
  const Point pivotLocal = d.pivot ? storedToPoint(*d.pivot) * spatial : Point{};
  const Point pivotScreen = frame.outer(frame.own(pivotLocal));
  const auto oldValue = [&](MotionProperty property, const std::optional<MotionTrack>& keys) {
    return keys ? keys->at(d.t) : neutral(property);
  };
  switch (d.handle) {
    case Handle::Move: {
      Point delta = now - d.start;
      if (constrain)
        delta = std::fabs(delta.real()) >= std::fabs(delta.imag()) ? Point{delta.real(), 0.0}
                                                                   : Point{0.0, delta.imag()};
      const Point local = frame.outer.m != Point{} ? delta / frame.outer.m : Point{};
      const std::array<double, 2> old = oldValue(MotionProperty::Position, d.position);
      const std::array<double, 2> moved = pointToStored(storedToPoint(old) + local / spatial);
      changeAt({d.layer, MotionProperty::Position}, d.t, moved, d.position);
      break;
    }
    case Handle::Rotate: {
      const Point from = d.start - pivotScreen;
      const Point to = now - pivotScreen;
      if (std::abs(from) == 0.0 || std::abs(to) == 0.0) break;
      double degrees = std::arg(to / from) / kDegreesToRadians;
      const double old = oldValue(MotionProperty::Rotation, d.rotation)[0];
      double wanted = old + degrees;
      if (constrain) wanted = std::round(wanted / kTurnStep) * kTurnStep;
      changeAt({d.layer, MotionProperty::Rotation}, d.t, {wanted, 0.0}, d.rotation);
      break;
    }
    case Handle::Scale: {
      const double from = std::abs(d.start - pivotScreen);
      if (from == 0.0) break;
      const double old = oldValue(MotionProperty::Scale, d.scale)[0];
      double wanted = old * std::abs(now - pivotScreen) / from;
      if (constrain) wanted = std::max(kScaleStep, std::round(wanted / kScaleStep) * kScaleStep);
      changeAt({d.layer, MotionProperty::Scale}, d.t, {wanted, 0.0}, d.scale);
      break;
    }
    case Handle::Pivot: {
      // The pivot under the pointer, and the position moved so that the picture stays where it
      // is at the playhead.
      if (frame.outer.m == Point{} || frame.own.m == Point{}) break;
      const Point wanted = ((now - frame.outer.t) / frame.outer.m - frame.own.t) / frame.own.m;
      const Point compensation = (Point{1.0, 0.0} - frame.own.m) * (pivotLocal - wanted);
      StepScope step(session_, true);
      session_.edit().setSetting(layerMotionKey(d.layer, "pivot"),
                                 formatPivot(pointToStored(wanted / spatial)));
      const std::array<double, 2> old = oldValue(MotionProperty::Position, d.position);
      changeAt({d.layer, MotionProperty::Position}, d.t,
               pointToStored(storedToPoint(old) + compensation / spatial), d.position);
      break;
    }
  }
}

void MotionEditing::endHandle() {
  if (!drag_) return;
  drag_.reset();
  endGesture();
}

std::vector<MotionEditing::PathPoint> MotionEditing::path() const {
  std::vector<PathPoint> points;
  const int index = layerIndex();
  const Project& project = session_.project();
  if (index < 0 || !(project.fps > 0.0f)) return points;
  const Layer& layer = project.layers[static_cast<size_t>(index)];
  const LayerMotion* own = project.motion.layer(layer.number);
  if (!own || own->position.empty()) return points;
  const auto centreAt = [&](float t) -> std::optional<Point> {
    const CurrentSource current = currentSourceAt(project, index, t);
    if (!current.found()) return std::nullopt;
    const Placement placed =
        applyMotion(project, index, placementAt(layer, current.index, current.fraction), t);
    return Point{-static_cast<double>(placed.x), -static_cast<double>(placed.y)};
  };
  // A dot a frame, at most 2000 of them.
  const double total = view_.totalTime();
  const double step = std::max(1.0 / project.fps, total / 2000.0);
  for (double t = 0.0; t < total; t += step) {
    if (const std::optional<Point> at = centreAt(static_cast<float>(t)))
      points.push_back({framePoint(*at), std::nullopt, std::nullopt, -1});
  }
  const double spatial = project.motion.spatialScale;
  for (size_t k = 0; k < own->position.keys.size(); ++k) {
    const MotionKey& key = own->position.keys[k];
    const std::optional<Point> at = centreAt(static_cast<float>(key.time));
    if (!at) continue;
    const LayerMotionFrame frame = motionFrame(project, index, key.time);
    PathPoint point{framePoint(*at), std::nullopt, std::nullopt, static_cast<int>(k)};
    if (key.tangents) {
      const std::array<double, 4>& t = *key.tangents;
      point.in = framePoint(*at + frame.outer.m * storedToPoint({t[0], t[1]}) * spatial);
      point.out = framePoint(*at + frame.outer.m * storedToPoint({t[2], t[3]}) * spatial);
    }
    points.push_back(point);
  }
  return points;
}

}  // namespace pelorix
