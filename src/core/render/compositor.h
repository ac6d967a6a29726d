// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <vector>

#include "base/log_sink.h"
#include "imageio/dib_image.h"
#include "model/project.h"
#include "render/blit_kernel.h"
#include "render/layer_image_cache.h"

namespace pelorix {

class RowWorkers;

// A layer whose picture could not be loaded for a frame.
struct MissingPicture {
  int layerNumber = 0;
  std::string file;
  friend bool operator==(const MissingPicture&, const MissingPicture&) = default;
};

enum class DrawResult {
  Nothing,       // the layer shows nothing at t, or its picture failed to load
  Drawn,         // the layer reached the canvas (it may still cover no pixel)
  CanvasFailed,  // the canvas could not be made; reported in the log
};

// Everything about one layer of one frame that reaches the kernel: whether it draws, how, and
// from which picture. Two equal plans draw the same bytes onto the same canvas; the comparison is
// the defaulted one, so it covers every field there is. A plan that draws nothing keeps the
// default kernel values and no picture, so it equals any other plan of the same outcome.
struct LayerPlan {
  DrawResult result = DrawResult::Nothing;
  bool draws = false;   // some pixel may change
  bool covers = false;  // its copy covers the whole frame
  bool first = false;   // layer number 1, which starts the frame afresh
  bool moving = false;  // a moving picture: never taken as unchanged
  // Held while the plan is, so that its pixels' address cannot be reused by another picture.
  std::shared_ptr<const CachedPicture> picture;
  LayerKernel kernel;

  friend bool operator==(const LayerPlan&, const LayerPlan&) = default;
};

// Whether a layer drawn by `now` leaves the canvas as `before` did: equal plans of pictures that
// do not move by themselves.
inline bool unchangedPlan(const LayerPlan& now, const LayerPlan& before) {
  return !now.moving && !before.moving && now == before;
}

// Draws layers into a canvas of the project's output size: 32-bit pixels, padded 24-bit colour
// starting black, or premultiplied colour with alpha starting transparent when the project asks
// for a transparent background. Each Compositor has its own layer image cache, so compositions
// on different threads need different compositors (they may share a PictureStore); one
// compositor composes one frame at a time.
//
// A frame whose first layers draw exactly as in the frame this compositor composed before (the
// same pictures at the same placements, with every value that reaches the kernel the same, and
// no moving picture among them) starts from the canvas kept after those layers, and only the
// layers above are drawn: the same bytes as composing afresh.
class Compositor {
 public:
  explicit Compositor(LogSink& log) : log_(log) {}

  // The folder of the project file, ending with a separator (or empty): image names are
  // looked up there.
  void setProjectFolder(std::string folder) { projectFolder_ = std::move(folder); }
  const std::string& projectFolder() const { return projectFolder_; }
  // Rows of a layer may be split over these threads (same bytes as one thread).
  void setRowWorkers(RowWorkers* workers) { workers_ = workers; }
  // Decoded pictures come from this store, shared with other compositors (null: its own).
  void setPictureStore(PictureStore* store) { cache_.setStore(store); }

  // Draws one layer at time t into `canvas`, creating it (black) when it is empty, and wiping it
  // for every layer numbered 1.
  DrawResult drawLayer(DibImage& canvas, const Project& project, int layerIndex, float t);

  // Whether composeFrame starts from the canvas of an unchanged prefix of layers (on by default;
  // the bytes are the same either way).
  void setReuse(bool reuse);
  // How many layers the last composeFrame took from the kept canvas (for tests and benchmarks).
  size_t reusedLayers() const { return reused_; }
  // Bytes the kept canvas holds.
  size_t keptBytes() const;

  // Empties the canvas and draws the layers in order, first at the bottom. False when no layer
  // reached the canvas: the canvas is then empty.
  bool composeFrame(DibImage& canvas, const Project& project, std::span<const int> layers, float t);

  // A frame where nothing drew: black, or transparent on a transparent background. False (and a
  // log line) when the memory cannot be had.
  bool makeBlankFrame(DibImage& canvas, const Project& project) {
    canvas.destroy();
    return makeCanvas(canvas, project);
  }

  // The layers of the last composeFrame whose picture failed to load.
  const std::vector<MissingPicture>& missingPictures() const { return missing_; }

  LayerImageCache& cache() { return cache_; }
  const LayerImageCache& cache() const { return cache_; }

  // The canvas's size: the frame's, or the size it is shown at (ProjectMotion::shownSize).
  static int canvasWidth(const Project& project);
  static int canvasHeight(const Project& project);

 private:
  // The frame's column and row each canvas column and row shows, for a frame shown smaller;
  // made again when a size changes.
  struct ShownGrid {
    int frameWidth = 0, frameHeight = 0;
    int width = 0, height = 0;
    std::vector<float> columns, rows;  // padded for whole vectors
  };
  static constexpr int kGridPadding = 64;  // the widest vector's lanes
  void makeGrid(const Project& project);
  // A layer's kernel of the whole frame made to draw into the canvas of the frame shown smaller:
  // its box in canvas columns and rows. False when it covers none.
  bool toGrid(LayerKernel& kernel) const;
  ShownGrid grid_;
  // Makes the empty canvas W x H and black, reusing the picture of the previous frame: fresh
  // memory would have every page faulted in again, frame after frame.
  // `clear` false: the caller overwrites every pixel at once.
  bool makeCanvas(DibImage& canvas, const Project& project, bool clear = true);
  // The plan of a layer at t: its picture made sure of, its parameters worked out.
  void planLayer(const Project& project, int layerIndex, float t, LayerPlan& plan);
  // Draws a planned layer.
  DrawResult applyLayer(DibImage& canvas, const Project& project, LayerPlan& plan);

  // The canvas after the first `keptCount_` layers of a frame, their plans, and the frame's
  // size and kind.
  struct Frame {
    int width = 0;
    int height = 0;
    int flags = 0;
    friend bool operator==(const Frame&, const Frame&) = default;
  };
  // Keeps the canvas after the first `layers` layers of this frame.
  void keep(const DibImage& canvas, const Frame& frame, size_t layers, bool drawn);
  void restoreKept(DibImage& canvas, bool lastFrame);
  bool reuse_ = true;
  std::vector<LayerPlan> plans_;
  std::vector<LayerPlan> lastPlans_;
  Frame lastFrame_;
  DibImage kept_;
  std::vector<LayerPlan> keptPlans_;
  Frame keptFrame_;
  bool keptDrawn_ = false;
  size_t reused_ = 0;
  uint64_t stamp_ = 0;  // the mark of the canvas this compositor made last

  LogSink& log_;
  DibImage spare_;
  std::string projectFolder_;
  LayerImageCache cache_;
  RowWorkers* workers_ = nullptr;
  std::vector<MissingPicture> missing_;
};

}  // namespace pelorix
