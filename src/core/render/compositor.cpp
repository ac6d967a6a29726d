// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/compositor.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/row_workers.h"
#include "model/extensions.h"
#include "render/blit_kernel.h"
#include "render/motion_transform.h"
#include "render/picture_levels.h"
#include "render/timeline.h"

namespace pelorix {
namespace {

// Pixels added on every side of the bounding box (see prepare()).
constexpr int kBoxMargin = 2;

// The pixels of one 32-bit picture into another of the same size.
void copyPixels(const DibImage& from, DibImage& to) {
  const size_t rowBytes = static_cast<size_t>(from.width()) * 4;
  for (int y = 0; y < from.height(); ++y)
    std::memcpy(to.row(y), from.row(y), rowBytes);
}

// A frame starts black (alpha 255) or, on a transparent background, with nothing.
void clearCanvas(DibImage& canvas) {
  const size_t rowBytes = static_cast<size_t>(std::abs(canvas.pitch()));
  if (canvas.hasAlpha()) {
    for (int y = 0; y < canvas.height(); ++y)
      std::memset(canvas.row(y), 0, rowBytes);
    return;
  }
  const uint32_t black = 0xFFu << kAlphaShift;
  for (int y = 0; y < canvas.height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(canvas.row(y));
    std::fill(row, row + canvas.width(), black);
  }
}

int canvasFlags(const Project& project) {
  return (project.options & projectTransparentBackground) != 0 ? kCreateAlpha | kCreatePremultiplied
                                                               : kCreatePadded24;
}

bool finite(const Placement& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.scale) &&
         std::isfinite(p.rotation) && std::isfinite(p.opacity);
}

// Works out the box and the inverse mapping of one layer in a W x H frame; false when it covers
// no pixel. The canvas pointers are set by the caller.
bool prepare(int W, int H, const DibImage& image, const Placement& place, LayerKernel& p) {
  const int sw = image.width();
  const int sh = image.height();
  p.ox = truncToInt(static_cast<double>(static_cast<float>(W / 2) - place.x));
  p.oy = truncToInt(static_cast<double>(static_cast<float>(H / 2) - place.y));
  p.hu = static_cast<float>(sw / 2);
  p.hv = static_cast<float>(sh / 2);

  const double angle = static_cast<double>(place.rotation) * kDegreesToRadians;
  const auto c = static_cast<float>(std::cos(angle));
  const auto s = static_cast<float>(std::sin(angle));
  const float A = std::fabs(c * place.scale);
  const float B = std::fabs(s * place.scale);
  const float bw = static_cast<float>(sw) * A + static_cast<float>(sh) * B;
  const float bh = static_cast<float>(sw) * B + static_cast<float>(sh) * A;
  int x0 = truncToInt(static_cast<double>((static_cast<float>(W) - bw) * 0.5f - place.x));
  int x1 = truncToInt(static_cast<double>(static_cast<float>(x0) + bw));
  int y0 = truncToInt(static_cast<double>((static_cast<float>(H) - bh) * 0.5f - place.y));
  int y1 = truncToInt(static_cast<double>(static_cast<float>(y0) + bh));
  if (x1 <= x0 || y1 <= y0) return false;  // scale 0 and the like: an empty box
  const int edge = x0;
  // The box is centred on the exact frame centre while the image sits on the integer-half
  // centre, and both ends are truncated: it can fall short of the image's far column or row by
  // a pixel or two. Widen it; pixels whose sampling point is outside the image are skipped
  // anyway. The repeated additions along a row still start at the box's own left edge (xs), so
  // the pixels of the unwidened box keep their exact sampling points.
  x0 = x0 > INT_MIN + kBoxMargin ? x0 - kBoxMargin : INT_MIN;
  y0 = y0 > INT_MIN + kBoxMargin ? y0 - kBoxMargin : INT_MIN;
  x1 = x1 < INT_MAX - kBoxMargin ? x1 + kBoxMargin : INT_MAX;
  y1 = y1 < INT_MAX - kBoxMargin ? y1 + kBoxMargin : INT_MAX;
  if (x1 <= 0 || y1 <= 0 || x0 >= W || y0 >= H) return false;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > W) x1 = W;
  if (y1 > H) y1 = H;
  if (y0 >= y1 || x0 >= x1) return false;
  p.x0 = x0;
  p.x1 = x1;
  p.xs = std::clamp(std::max(edge, 0), x0, x1);
  p.y0 = y0;
  p.y1 = y1;

  const float inverse = 1.0f / place.scale;
  p.du = c * inverse;
  p.dv = -(s * inverse);
  // Rotation 0 and scale 1 make every sampling point a whole pixel (the additions of 1 and 0
  // are exact while the numbers stay below 2^23).
  p.aligned = c == 1.0f && s == 0.0f && place.scale == 1.0f && std::abs(p.ox) < (1 << 23) &&
              std::abs(p.oy) < (1 << 23);
  p.image = image.bits();
  p.imagePitch = image.pitch();
  p.imageWidth = sw;
  p.imageHeight = sh;
  return true;
}

// The first of `count` values of `at` (ascending) that is `value` or more: where a box edge of the
// frame falls among the canvas columns or rows of a frame shown smaller.
int firstAtOrAfter(const std::vector<float>& at, int count, int value) {
  const auto end = at.begin() + count;
  return static_cast<int>(std::lower_bound(at.begin(), end, static_cast<float>(value)) -
                          at.begin());
}

}  // namespace

int Compositor::canvasWidth(const Project& project) {
  return project.motion.shownSize[0] > 0 ? project.motion.shownSize[0] : project.outputWidth;
}

int Compositor::canvasHeight(const Project& project) {
  return project.motion.shownSize[1] > 0 ? project.motion.shownSize[1] : project.outputHeight;
}

void Compositor::makeGrid(const Project& project) {
  const int w = canvasWidth(project), h = canvasHeight(project);
  if (grid_.frameWidth == project.outputWidth && grid_.frameHeight == project.outputHeight &&
      grid_.width == w && grid_.height == h)
    return;
  // The window's nearest pick, the frame's column for each canvas column; padded for the vector
  // kernel's whole vectors.
  const auto pick = [](int frame, int shown, std::vector<float>& at) {
    at.assign(static_cast<size_t>(shown) + kGridPadding, 0.0f);
    for (int x = 0; x < shown; ++x)
      at[static_cast<size_t>(x)] = static_cast<float>(
          static_cast<int>((x + 0.5) * static_cast<double>(frame) / static_cast<double>(shown)));
    std::fill(at.begin() + shown, at.end(), at[static_cast<size_t>(shown) - 1]);
  };
  pick(project.outputWidth, w, grid_.columns);
  pick(project.outputHeight, h, grid_.rows);
  grid_.frameWidth = project.outputWidth;
  grid_.frameHeight = project.outputHeight;
  grid_.width = w;
  grid_.height = h;
}

bool Compositor::toGrid(LayerKernel& kernel) const {
  kernel.x0 = firstAtOrAfter(grid_.columns, grid_.width, kernel.x0);
  kernel.x1 = firstAtOrAfter(grid_.columns, grid_.width, kernel.x1);
  kernel.y0 = firstAtOrAfter(grid_.rows, grid_.height, kernel.y0);
  kernel.y1 = firstAtOrAfter(grid_.rows, grid_.height, kernel.y1);
  kernel.xs = kernel.x0;
  kernel.aligned = false;
  kernel.gridWidth = grid_.frameWidth;
  kernel.gridHeight = grid_.frameHeight;
  return kernel.x0 < kernel.x1 && kernel.y0 < kernel.y1;
}

void Compositor::planLayer(const Project& project, int layerIndex, float t, LayerPlan& plan) {
  plan = LayerPlan{};
  const CurrentSource current = currentSourceAt(project, layerIndex, t);
  if (!current.found()) return;
  const Layer& layer = project.layers[static_cast<size_t>(layerIndex)];
  const Source& source = layer.sources[static_cast<size_t>(current.index)];
  const bool keepAlpha = (layer.effects & effectAlpha) != 0;
  cache_.setSeriesRate(static_cast<double>(project.fps));
  if (!cache_.ensure(layerIndex, current.index, source.file, projectFolder_, log_, keepAlpha,
                     sourceClock(layer, current.index, t))) {
    missing_.push_back({layer.number, source.file});
    return;
  }
  // An animation that could not be read to its end shows its last good frame, and says so.
  if (cache_.degraded(layerIndex)) missing_.push_back({layer.number, source.file});
  // The source's placement, then the motion of the layer, its parents and the camera.
  const Placement place =
      applyMotion(project, layerIndex, placementAt(layer, current.index, current.fraction), t);
  LayerKernel& kernel = plan.kernel;
  kernel.alpha = finite(place)
                     ? std::clamp(truncToInt(static_cast<double>(place.opacity) * 255.0), 0, 255)
                     : 0;
  // Non-finite values and opacity 0 leave every pixel as it is.
  const bool shownSmaller = project.motion.shownSize[0] > 0;
  if (shownSmaller) makeGrid(project);
  plan.draws =
      kernel.alpha > 0 &&
      prepare(project.outputWidth, project.outputHeight, cache_.image(layerIndex), place, kernel) &&
      (!shownSmaller || toGrid(kernel));
  plan.first = layer.number == 1;
  plan.moving = cache_.moving(layerIndex);
  plan.result = DrawResult::Drawn;
  if (!plan.draws) {
    kernel = LayerKernel{};  // nothing of it reaches the canvas
    return;
  }
  kernel.interpolate = (layer.effects & effectInterpolate) != 0;
  kernel.colorKey = (layer.effects & effectColorKey) != 0;
  kernel.pictureAlpha = cache_.hasAlpha(layerIndex);
  kernel.key = colourValue(layer.keyColor.blue, layer.keyColor.green, layer.keyColor.red);
  kernel.mode = static_cast<int>(blendModeOf(layer.effects));
  plan.picture = cache_.picture(layerIndex);
  // Played smaller than the frame, a still picture stepped over is sampled from a smaller copy.
  if (shownSmaller && project.motion.pictureLevels && !plan.moving) {
    const double stride = static_cast<double>(project.outputWidth) / grid_.width;
    sampleFromLevel(kernel, plan.picture->image, *plan.picture->levels, workers_, stride);
  }
  // A frame that this layer's copy covers entirely need not be cleared first.
  plan.covers = coversWholeFrame(kernel, canvasWidth(project), canvasHeight(project));
}

DrawResult Compositor::applyLayer(DibImage& canvas, const Project& project, LayerPlan& plan) {
  if (plan.result != DrawResult::Drawn) return plan.result;
  if (canvas.empty()) {
    if (!makeCanvas(canvas, project, !plan.covers)) return DrawResult::CanvasFailed;
  } else if (plan.first && !plan.covers) {
    clearCanvas(canvas);  // layer 1 starts the frame afresh
  }
  if (!plan.draws) return DrawResult::Drawn;
  BlitParams params;
  static_cast<LayerKernel&>(params) = plan.kernel;
  params.canvas = canvas.bits();
  params.canvasPitch = canvas.pitch();
  params.canvasOpaque = !canvas.hasAlpha();
  if (params.gridWidth > 0) {
    params.gridColumns = grid_.columns.data();
    params.gridRows = grid_.rows.data();
  }
  if (workers_) {
    workers_->run(params.y0, params.y1,
                  [&params](int begin, int end) { blitRows(params, begin, end); });
  } else {
    blitRows(params, params.y0, params.y1);
  }
  return DrawResult::Drawn;
}

DrawResult Compositor::drawLayer(DibImage& canvas, const Project& project, int layerIndex,
                                 float t) {
  LayerPlan plan;
  planLayer(project, layerIndex, t, plan);
  return applyLayer(canvas, project, plan);
}

void Compositor::setReuse(bool reuse) {
  reuse_ = reuse;
  if (!reuse) {
    kept_.destroy();
    keptPlans_.clear();
    lastPlans_.clear();
  }
}

size_t Compositor::keptBytes() const {
  return kept_.empty()
             ? 0
             : static_cast<size_t>(std::abs(kept_.pitch())) * static_cast<size_t>(kept_.height());
}

bool Compositor::makeCanvas(DibImage& canvas, const Project& project, bool clear) {
  const int flags = canvasFlags(project);
  const bool transparent = (flags & kCreateAlpha) != 0;
  const int width = canvasWidth(project), height = canvasHeight(project);
  if (!spare_.empty() && spare_.width() == width && spare_.height() == height &&
      spare_.bitsPerPixel() == 32 && spare_.hasAlpha() == transparent && spare_.bottomUp()) {
    canvas = std::move(spare_);
    if (clear) clearCanvas(canvas);
    return true;
  }
  spare_.destroy();
  if (canvas.create(width, height, 32, BI_RGB, nullptr, flags)) {
    if (!transparent && clear) clearCanvas(canvas);
    return true;
  }
  log_.appendLog(formatC(_("出力画像 (%d x %d) を作成できません"), width, height));
  return false;
}

bool Compositor::composeFrame(DibImage& canvas, const Project& project, std::span<const int> layers,
                              float t) {
  // The frame starts without a picture; the old one waits to be reused.
  if (!canvas.empty()) spare_ = std::move(canvas);
  missing_.clear();
  cache_.setSeriesRate(static_cast<double>(project.fps));
  // The pictures first, so that workers starting together share the decoding between them.
  for (int index : layers) {
    const CurrentSource current = currentSourceAt(project, index, t);
    if (!current.found()) continue;
    const Layer& layer = project.layers[static_cast<size_t>(index)];
    cache_.prefetch(index, layer.sources[static_cast<size_t>(current.index)].file, projectFolder_,
                    (layer.effects & effectAlpha) != 0);
  }
  const size_t count = layers.size();
  plans_.resize(count);
  for (size_t i = 0; i < count; ++i)
    planLayer(project, layers[i], t, plans_[i]);
  const Frame frame{canvasWidth(project), canvasHeight(project), canvasFlags(project)};

  // The layers that draw as in the frame before: the canvas after them is worth keeping.
  size_t unchanged = 0;
  if (reuse_ && frame == lastFrame_) {
    while (unchanged < count && unchanged < lastPlans_.size() &&
           unchangedPlan(plans_[unchanged], lastPlans_[unchanged]))
      ++unchanged;
  }
  // The kept canvas serves when its layers draw as they did when it was kept.
  size_t start = 0;
  bool drawn = false;
  if (reuse_ && !kept_.empty() && keptFrame_ == frame && keptPlans_.size() <= count) {
    size_t same = 0;
    while (same < keptPlans_.size() && unchangedPlan(plans_[same], keptPlans_[same]))
      ++same;
    const bool ownCanvas = spare_.stamp() != 0 && spare_.stamp() == stamp_;
    if (same == keptPlans_.size() && makeCanvas(canvas, project, false)) {
      restoreKept(canvas, ownCanvas && canvas.stamp() == stamp_);
      start = keptPlans_.size();
      drawn = keptDrawn_;
    }
  }
  reused_ = start;
  for (size_t i = start; i < count; ++i) {
    const DrawResult result = applyLayer(canvas, project, plans_[i]);
    if (result == DrawResult::CanvasFailed) break;  // the next layers could not draw either
    drawn = drawn || result == DrawResult::Drawn;
    // A longer unchanged prefix than the kept one: keep the canvas after it.
    if (i + 1 == unchanged && unchanged > start && drawn && !canvas.empty())
      keep(canvas, frame, unchanged, drawn);
  }
  if (reuse_) {
    std::swap(lastPlans_, plans_);
    lastFrame_ = frame;
    // The canvas is known again when it comes back: it then holds exactly the last plans.
    canvas.setStamp(canvas.empty() ? 0 : ++stamp_);
  }
  return drawn;
}

// The kept canvas into `canvas`. When `canvas` is the frame this compositor made last (so it
// holds the kept layers and then the last frame's others), only where those others drew is
// copied: for a sprite over a still scene a small box instead of the frame.
void Compositor::restoreKept(DibImage& canvas, bool lastFrame) {
  const size_t keptCount = keptPlans_.size();
  bool partial = lastFrame && lastPlans_.size() >= keptCount;
  for (size_t i = 0; partial && i < keptCount; ++i)
    partial = unchangedPlan(lastPlans_[i], keptPlans_[i]);
  for (size_t i = keptCount; partial && i < lastPlans_.size(); ++i) {
    const LayerPlan& plan = lastPlans_[i];
    // A layer that cleared the frame or covered it changed every pixel.
    if (plan.result == DrawResult::Drawn && (plan.covers || (plan.first && !plan.draws)))
      partial = false;
    if (plan.result == DrawResult::Drawn && plan.first) partial = false;
  }
  if (!partial) {
    copyPixels(kept_, canvas);
    return;
  }
  for (size_t i = keptCount; i < lastPlans_.size(); ++i) {
    const LayerPlan& plan = lastPlans_[i];
    if (plan.result != DrawResult::Drawn || !plan.draws) continue;
    const LayerKernel& box = plan.kernel;
    const size_t bytes = static_cast<size_t>(box.x1 - box.x0) * 4;
    for (int y = box.y0; y < box.y1; ++y)
      std::memcpy(canvas.row(y) + box.x0 * 4, kept_.row(y) + box.x0 * 4, bytes);
  }
}

void Compositor::keep(const DibImage& canvas, const Frame& frame, size_t layers, bool drawn) {
  if (kept_.width() != canvas.width() || kept_.height() != canvas.height() ||
      kept_.hasAlpha() != canvas.hasAlpha()) {
    kept_ = DibImage();
    if (!kept_.create(canvas.width(), canvas.height(), 32, BI_RGB, nullptr, frame.flags)) {
      keptPlans_.clear();  // no memory for it: compose afresh
      return;
    }
  }
  copyPixels(canvas, kept_);
  keptPlans_.assign(plans_.begin(), plans_.begin() + static_cast<ptrdiff_t>(layers));
  keptFrame_ = frame;
  keptDrawn_ = drawn;
}

}  // namespace pelorix
