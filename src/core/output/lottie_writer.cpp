// SPDX-License-Identifier: GPL-3.0-or-later
// Lottie (bodymovin JSON, version 5): the project itself rather than its frames. Each picture
// is an image asset (PNG inside the file, with the layer's colour key and transparency in its
// alpha); each source is an image layer shown for its time, placed and gliding as in Pelorix;
// a layer's keys, pivot and parent become a null layer its pictures hang from, and the camera a
// null above them all.
#include <charconv>
#include <cmath>
#include <complex>
#include <functional>
#include <map>
#include <numbers>
#include <tuple>

#include "base/atomic_file.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/json_writer.h"
#include "base/paths.h"
#include "imageio/codec.h"
#include "imageio/frame_source.h"
#include "imageio/pixel_convert.h"
#include "model/extensions.h"
#include "output/formats.h"
#include "output/lottie_json.h"
#include "output/writers.h"
#include "render/draw_list.h"
#include "render/motion_transform.h"
#include "render/picture_store.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

using namespace lottie;

struct Point2 {
  double x = 0.0;
  double y = 0.0;
};

class LottieDocument {
 public:
  LottieDocument(const Project& project, std::string folder, int first, int last)
      : project_(project),
        folder_(std::move(folder)),
        first_(first),
        last_(last),
        fps_(static_cast<double>(project.fps)),
        centre_{std::floor(project.outputWidth / 2) + 0.5,
                std::floor(project.outputHeight / 2) + 0.5} {}

  // The document, or "" with `problem` saying why it cannot be made.
  std::string build(std::string& problem, std::vector<std::string>& log);

 private:
  // A picture as the layer shows it, as an asset: its id ("" with `problem_` set on failure).
  struct Asset;
  const Asset* asset(const Layer& layer, const std::string& file);
  int nullOf(int layerIndex);
  void writeNulls();
  void writeImages(int layerIndex);
  void writeLayerHead(const char* name, int type, int index, int parent);
  std::vector<Keyframe> positions(int layerIndex, int sourceIndex, double start, double end);
  // A point of Pelorix (relative to the frame's centre, positive left and up, at the project's
  // spatial scale) in Lottie's pixels.
  Point2 pixel(const std::array<double, 2>& stored) const {
    const double s = project_.motion.spatialScale;
    return {centre_.x - stored[0] * s, centre_.y - stored[1] * s};
  }
  std::vector<Keyframe> track(
      const MotionTrack& track,
      const std::function<std::vector<double>(const std::array<double, 2>&)>& value);

  const Project& project_;
  std::string folder_;
  int first_;
  int last_;
  double fps_;
  Point2 centre_;
  JsonWriter json_;
  PictureStore store_;
  std::string problem_;
  std::vector<std::string>* log_ = nullptr;
  struct Asset {
    std::string id;
    std::string data;
    int width = 0;
    int height = 0;
  };
  std::map<std::tuple<std::string, int, uint32_t>, Asset> assets_;
  std::vector<const Asset*> assetOrder_;  // as they were made, which their ids number
  std::map<int, int> nulls_;              // layer index -> its null's index (0: none)
  int cameraIndex_ = 0;
  int nextIndex_ = 1;
};

const LottieDocument::Asset* LottieDocument::asset(const Layer& layer, const std::string& file) {
  const bool keepAlpha = (layer.effects & effectAlpha) != 0;
  const bool keyed = (layer.effects & effectColorKey) != 0;
  const uint32_t key = keyed ? uint32_t{layer.keyColor.red} << 16 |
                                   uint32_t{layer.keyColor.green} << 8 | layer.keyColor.blue
                             : 0xFF000000u;
  const auto id = std::make_tuple(file, keepAlpha ? 1 : 0, key);
  if (auto known = assets_.find(id); known != assets_.end()) return &known->second;
  const std::string path = joinPath(folder_, file);
  if (mayMove(path)) {
    problem_ = formatC(_("layer %d: %s moves (an animation, series or video); a Lottie file "
                         "takes still pictures only"),
                       layer.number, file.c_str());
    return nullptr;
  }
  const PictureStore::Result loaded = store_.get(path, keepAlpha);
  if (!loaded.picture) {
    problem_ = formatC(_("layer %d: cannot read %s: %s"), layer.number, file.c_str(),
                       loaded.error.errorMessage().c_str());
    return nullptr;
  }
  const DibImage& image = loaded.picture->image;
  DibImage baked;
  if (!baked.create(image.width(), -image.height(), 32, BI_RGB, nullptr, kCreateAlpha)) {
    problem_ = _("there is not enough memory for the pictures");
    return nullptr;
  }
  // The key colour clears exactly the pixels of that colour, as the kernel does.
  for (int y = 0; y < image.height(); ++y) {
    uint8_t* row = baked.row(y);
    readRowBgra(image, y, row);
    for (int x = 0; x < image.width(); ++x, row += 4) {
      if (!keepAlpha) row[3] = 255;
      const uint32_t colour = uint32_t{row[2]} << 16 | uint32_t{row[1]} << 8 | row[0];
      if (keyed && colour == key) row[3] = 0;
    }
  }
  std::vector<uint8_t> png;
  ImageEncodeOptions options;
  options.pngLevel = 7;
  if (ImageError error = pngCodec().encode(baked, options, png); error.failed()) {
    problem_ = formatC(_("layer %d: cannot write %s as PNG: %s"), layer.number, file.c_str(),
                       error.errorMessage().c_str());
    return nullptr;
  }
  Asset& made = assets_[id];
  made.id = formatC("image_%zu", assetOrder_.size());
  assetOrder_.push_back(&made);
  made.data = "data:image/png;base64," + base64(png);
  made.width = image.width();
  made.height = image.height();
  return &made;
}

std::vector<Keyframe> LottieDocument::track(
    const MotionTrack& track,
    const std::function<std::vector<double>(const std::array<double, 2>&)>& value) {
  std::vector<Keyframe> keys;
  const double s = project_.motion.spatialScale;
  for (size_t i = 0; i < track.keys.size(); ++i) {
    const MotionKey& key = track.keys[i];
    Keyframe frame{key.time * fps_, value(key.value), handlesOf(key.curve), {}};
    // The path's tangents: this key's way out and the next key's way in, in pixels.
    if (track.vector && i + 1 < track.keys.size() && (key.tangents || track.keys[i + 1].tangents)) {
      const std::array<double, 4> none{};
      const auto& out = key.tangents ? *key.tangents : none;
      const auto& in = track.keys[i + 1].tangents ? *track.keys[i + 1].tangents : none;
      frame.tangents = std::array<double, 4>{-out[2] * s, -out[3] * s, -in[0] * s, -in[1] * s};
    }
    keys.push_back(std::move(frame));
  }
  if (keys.empty()) keys = constant(value({0.0, 0.0}));
  return keys;
}

void LottieDocument::writeLayerHead(const char* name, int type, int index, int parent) {
  json_.beginObject();
  json_.field("ddd", 0);
  json_.field("ind", index);
  json_.field("ty", type);
  json_.field("nm", name);
  if (parent != 0) json_.field("parent", parent);
  json_.field("sr", 1);
  json_.field("ao", 0);
  json_.field("st", 0);
}

// The null a layer's pictures hang from: its keys, pivot and parent; 0 when it has none and
// hangs from the camera (or nothing) directly.
int LottieDocument::nullOf(int layerIndex) {
  if (layerIndex < 0) return cameraIndex_;
  if (auto known = nulls_.find(layerIndex); known != nulls_.end()) return known->second;
  const Layer& layer = project_.layers[static_cast<size_t>(layerIndex)];
  const LayerMotion* motion = project_.motion.layer(layer.number);
  const int parent = project_.parentIndex(layerIndex);
  const bool own = motion && (motion->position.keys.size() + motion->scale.keys.size() +
                                      motion->rotation.keys.size() !=
                                  0 ||
                              motion->pivot);
  int index = 0;
  if (own || parent >= 0) {
    index = nextIndex_++;
    nulls_[layerIndex] = index;
    const int above = nullOf(parent);
    // m (q - pivot) + pivot + position, with q relative to the frame's centre: the anchor is the
    // pivot, the position the pivot moved.
    const Point2 pivot = pixel(motion && motion->pivot ? *motion->pivot : std::array<double, 2>{});
    Transform t;
    t.anchor = constant({pivot.x, pivot.y, 0.0});
    if (motion && !motion->position.empty()) {
      const double s = project_.motion.spatialScale;
      t.position = track(motion->position, [&](const std::array<double, 2>& v) {
        return std::vector<double>{pivot.x - v[0] * s, pivot.y - v[1] * s, 0.0};
      });
    } else {
      t.position = t.anchor;
    }
    if (motion && !motion->scale.empty()) {
      t.scale = track(motion->scale, [](const std::array<double, 2>& v) {
        return std::vector<double>{v[0] * 100, v[0] * 100, 100.0};
      });
    }
    if (motion && !motion->rotation.empty()) {
      t.rotation = track(motion->rotation, [](const std::array<double, 2>& v) {
        return std::vector<double>{v[0] * kTurn};
      });
    }
    writeLayerHead(formatC("%s (motion)", layer.name.c_str()).c_str(), 3, index, above);
    json_.field("ip", first_);
    json_.field("op", last_ + 1);
    writeTransform(json_, t);
    json_.endObject();
  } else {
    nulls_[layerIndex] = cameraIndex_;
    index = cameraIndex_;
  }
  return index;
}

void LottieDocument::writeNulls() {
  const CameraMotion& camera = project_.motion.camera;
  if (camera.keyed()) {
    // zoom x turn(-angle) x (q - centre): the anchor follows the camera's centre.
    cameraIndex_ = nextIndex_++;
    Transform t;
    t.position = constant({centre_.x, centre_.y, 0.0});
    t.anchor = camera.position.empty()
                   ? t.position
                   : track(camera.position, [&](const std::array<double, 2>& v) {
                       const Point2 p = pixel(v);
                       return std::vector<double>{p.x, p.y, 0.0};
                     });
    if (!camera.zoom.empty()) {
      t.scale = track(camera.zoom, [](const std::array<double, 2>& v) {
        return std::vector<double>{v[0] * 100, v[0] * 100, 100.0};
      });
    }
    if (!camera.rotation.empty()) {
      t.rotation = track(camera.rotation, [](const std::array<double, 2>& v) {
        return std::vector<double>{-v[0] * kTurn};
      });
    }
    writeLayerHead("camera", 3, cameraIndex_, 0);
    json_.field("ip", first_);
    json_.field("op", last_ + 1);
    writeTransform(json_, t);
    json_.endObject();
  }
  for (int i = 0; i < project_.layerCount; ++i)
    nullOf(i);
}

// Where source `sourceIndex` of a layer is, in its parent's space: at each frame it shows, the
// whole pixel the kernel puts the picture's centre on (brought back through the layer's keys,
// parents and camera), moving straight on between frames. A picture that stays where it is
// needs one value.
std::vector<Keyframe> LottieDocument::positions(int layerIndex, int sourceIndex, double start,
                                                double end) {
  const Layer& layer = project_.layers[static_cast<size_t>(layerIndex)];
  const bool moves = hasMotion(project_, layerIndex) || [&] {
    const Placement a = placementAt(layer, sourceIndex, 0.0f);
    const Placement b = placementAt(layer, sourceIndex, 1.0f);
    return a.x != b.x || a.y != b.y;
  }();
  const float halfW = static_cast<float>(project_.outputWidth / 2);
  const float halfH = static_cast<float>(project_.outputHeight / 2);
  std::vector<Keyframe> keys;
  const double from = std::max(std::ceil(start), double(first_));
  for (double f = from; f < end && f <= last_; ++f) {
    const auto t = static_cast<float>(f / fps_);
    const CurrentSource current = currentSourceAt(project_, layerIndex, t);
    if (current.index != sourceIndex) continue;
    const Placement placed =
        applyMotion(project_, layerIndex, placementAt(layer, sourceIndex, current.fraction), t);
    // The pixel the kernel centres the picture on, relative to the frame's centre.
    const std::complex<double> drawn(
        truncToInt(static_cast<double>(halfW - placed.x)) - static_cast<double>(halfW),
        truncToInt(static_cast<double>(halfH - placed.y)) - static_cast<double>(halfH));
    const LayerMotionFrame motion = motionFrame(project_, layerIndex, t);
    const Similarity total = motion.own.then(motion.outer);
    const std::complex<double> local = (drawn - total.t) / total.m;
    // A ten-thousandth of a pixel is finer than any player draws.
    const auto fine = [](double v) { return std::round(v * 1e4) / 1e4; };
    keys.push_back(
        {f, {fine(centre_.x + local.real()), fine(centre_.y + local.imag()), 0.0}, {}, {}});
    if (!moves) break;
  }
  if (keys.empty()) {
    const Placement placed = placementAt(layer, sourceIndex, 0.0f);
    const Point2 p = pixel({placed.x, placed.y});
    keys = constant({p.x, p.y, 0.0});
  }
  if (keys.size() == 1) keys[0].frame = 0.0;
  return keys;
}

// One image layer per source, the front-most first, each shown from its start to its end.
void LottieDocument::writeImages(int layerIndex) {
  const Layer& layer = project_.layers[static_cast<size_t>(layerIndex)];
  const LayerMotion* motion = project_.motion.layer(layer.number);
  const int parent = nullOf(layerIndex);
  int mode = blendMode(blendModeOf(layer.effects));
  if (mode < 0) {
    log_->push_back(formatC(_("layer %d: Lottie has no add blend mode; it is written as normal"),
                            layer.number));
    mode = 0;
  }
  for (int i = static_cast<int>(layer.sources.size()) - 1; i >= 0; --i) {
    const Source& source = layer.sources[static_cast<size_t>(i)];
    const double start = static_cast<double>(sourceStartTime(layer, i)) * fps_;
    const double end = start + static_cast<double>(source.duration) * fps_;
    if (!(end > start) || end <= first_ || start >= last_ + 1) continue;
    const Asset* picture = asset(layer, source.file);
    if (!picture) return;
    const Placement from = placementAt(layer, i, 0.0f);
    const Placement to = placementAt(layer, i, 1.0f);
    const bool glides = from.x != to.x || from.y != to.y || from.scale != to.scale ||
                        from.rotation != to.rotation || from.opacity != to.opacity;
    const Handles ease = handlesOf(easeOf(source.flags));
    auto keyed = [&](std::vector<double> a, std::vector<double> b) {
      if (!glides || a == b) return constant(std::move(a));
      return std::vector<Keyframe>{{start, std::move(a), ease, {}}, {end, std::move(b), {}, {}}};
    };
    Transform t;
    // The picture's centre pixel on the frame's centre pixel, as the kernel places it.
    t.anchor = constant(
        {std::floor(picture->width / 2) + 0.5, std::floor(picture->height / 2) + 0.5, 0.0});
    t.position = positions(layerIndex, i, start, end);
    t.scale = keyed({tidy(from.scale) * 100.0, tidy(from.scale) * 100.0, 100.0},
                    {tidy(to.scale) * 100.0, tidy(to.scale) * 100.0, 100.0});
    t.rotation = keyed({tidy(from.rotation) * kTurn}, {tidy(to.rotation) * kTurn});
    if (motion && !motion->opacity.empty()) {
      // The layer's opacity keys multiply the glide's: sampled at every frame, held between.
      t.opacity.clear();
      for (double f = std::max(std::ceil(start), double(first_)); f < end && f <= last_; ++f) {
        const float fraction = static_cast<float>((f - start) / (end - start));
        const double o = static_cast<double>(placementAt(layer, i, fraction).opacity) *
                         motion->opacity.at(f / fps_)[0];
        t.opacity.push_back({f, {o * 100.0}, {true}, {}});
      }
      if (t.opacity.empty()) t.opacity = constant({0.0});
    } else {
      t.opacity = keyed({tidy(from.opacity) * 100.0}, {tidy(to.opacity) * 100.0});
    }
    writeLayerHead(formatC("%s %d", layer.name.c_str(), i + 1).c_str(), 2, nextIndex_++, parent);
    json_.field("refId", picture->id);
    json_.field("ip", std::max(start, double(first_)));
    json_.field("op", std::min(end, double(last_ + 1)));
    json_.field("bm", mode);
    writeTransform(json_, t);
    json_.endObject();
  }
}

std::string LottieDocument::build(std::string& problem, std::vector<std::string>& log) {
  log_ = &log;
  const std::vector<int> drawn = buildDrawList(project_).layers;
  // The assets first: a picture that cannot be used refuses the whole file.
  for (int index : drawn) {
    const Layer& layer = project_.layers[static_cast<size_t>(index)];
    for (const Source& source : layer.sources) {
      if (source.duration > 0.0f && !asset(layer, source.file)) {
        problem = problem_;
        return {};
      }
    }
  }
  json_.beginObject();
  json_.field("v", "5.7.4");
  json_.field("fr", fps_);
  json_.field("ip", first_);
  json_.field("op", last_ + 1);
  json_.field("w", project_.outputWidth);
  json_.field("h", project_.outputHeight);
  json_.field("nm", project_.name);
  json_.field("ddd", 0);
  json_.key("assets");
  json_.beginArray();
  for (const Asset* asset : assetOrder_) {
    json_.beginObject();
    json_.field("id", asset->id);
    json_.field("w", asset->width);
    json_.field("h", asset->height);
    json_.field("u", "");
    json_.field("p", asset->data);
    json_.field("e", 1);
    json_.endObject();
  }
  json_.endArray();
  json_.key("layers");
  json_.beginArray();
  writeNulls();
  for (auto it = drawn.rbegin(); it != drawn.rend(); ++it)
    writeImages(*it);
  if ((project_.options & projectTransparentBackground) == 0) {
    // Frames start black.
    writeLayerHead("background", 1, nextIndex_++, 0);
    json_.field("sc", "#000000");
    json_.field("sw", project_.outputWidth);
    json_.field("sh", project_.outputHeight);
    json_.field("ip", first_);
    json_.field("op", last_ + 1);
    writeTransform(json_, Transform{});
    json_.endObject();
  }
  json_.endArray();
  json_.endObject();
  return json_.text();
}

// Writes the document when the run ends; no frame is composed for it.
class LottieWriter final : public AnimationWriter {
 public:
  ImageError open(const AnimationSettings& settings) override {
    if (!settings.project) return ImageError(E_FAIL, "no project");
    settings_ = settings;
    return {};
  }
  ImageError prepare(const DibImage&, int, std::unique_ptr<PreparedFrame>&) const override {
    return {};
  }
  ImageError write(std::unique_ptr<PreparedFrame>) override { return {}; }
  ImageError finish() override {
    const int last = settings_.firstIndex + settings_.frames - 1;
    LottieDocument document(*settings_.project, settings_.projectFolder, settings_.firstIndex,
                            last);
    std::string problem;
    const std::string text = document.build(problem, log_);
    if (!problem.empty()) return ImageError(E_FAIL, problem);
    FileError error;
    if (!writeFileAtomically(settings_.path,
                             {reinterpret_cast<const uint8_t*>(text.data()), text.size()},
                             Durability::Flush, &error)) {
      return ImageError(E_FAIL, error.message);
    }
    return {};
  }
  std::vector<std::string> takeLog() override { return std::exchange(log_, {}); }

 private:
  AnimationSettings settings_;
  std::vector<std::string> log_;
};

}  // namespace

std::unique_ptr<AnimationWriter> makeLottieWriter(const OutputFormat&) {
  return std::make_unique<LottieWriter>();
}

}  // namespace pelorix
