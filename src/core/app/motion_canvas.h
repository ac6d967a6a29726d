// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <complex>
#include <optional>
#include <vector>

#include "app/motion_editing.h"

namespace pelorix {

// The motion of the layer selected in the tree, on the canvas: handles that move, turn and scale
// it about its pivot and move the pivot, and its path. Points are in frame pixels from the top
// left corner, x right and y down; everything is at the playhead.
class MotionCanvas {
 public:
  MotionCanvas(Session& session, FrameView& view, MotionEditing& motion)
      : session_(session), view_(view), motion_(motion) {}

  enum class Handle { Move, Rotate, Scale, Pivot };
  struct Handles {
    bool shown = false;
    std::array<double, 2> pivot{};                   // turns and scales go about it
    std::array<double, 2> rotate{};                  // the knob that turns
    std::array<std::array<double, 2>, 4> corners{};  // the picture's corners (they scale)
  };
  Handles handles() const;
  // The handle within `reach` pixels of a point, the picture itself for Move.
  std::optional<Handle> handleAt(double x, double y, double reach) const;
  // A drag of a handle is one undo step. Shift constrains: a move to one axis, a turn to 15
  // degrees, a scale to tenths.
  void beginHandle(Handle handle, double x, double y);
  void dragHandle(double x, double y, bool constrain);
  void endHandle();
  bool dragging() const { return drag_.has_value(); }
  // Whether the preview draws the handles and the path (and takes drags on them).
  bool overlay() const { return overlay_; }
  void setOverlay(bool on) { overlay_ = on; }

  // The path: the picture's centre at every frame, and its position keys' points with their
  // tangent handles.
  struct PathPoint {
    std::array<double, 2> at{};
    std::optional<std::array<double, 2>> in, out;  // a key's tangent handles
    int key = -1;                                  // the key's index; -1 for a frame
  };
  std::vector<PathPoint> path() const;
  // The camera's frame at the playhead, in the world's frame pixels (the preview outside the
  // camera draws it); none when the camera has no keys.
  std::optional<std::array<std::array<double, 2>, 4>> cameraFrame() const;
  // A key's point or tangent handle dragged on the path (one undo step from press to release):
  // `part` 0 the point, 1 the in handle, 2 the out handle.
  void dragPathKey(int key, int part, double x, double y);

 private:
  // The size of the picture source `sourceIndex` of layer `index` shows.
  std::array<double, 2> pictureSize(int index, int sourceIndex) const;
  std::array<double, 2> framePoint(std::complex<double> point) const;
  std::complex<double> localPoint(double x, double y) const;

  Session& session_;
  FrameView& view_;
  MotionEditing& motion_;
  // A handle being dragged: what the layer's properties were at its start.
  struct Drag {
    Handle handle = Handle::Move;
    int layer = 0;
    double t = 0.0;
    std::complex<double> start;
    std::optional<MotionTrack> position, scale, rotation;
    std::optional<std::array<double, 2>> pivot;
  };
  std::optional<Drag> drag_;
  bool overlay_ = true;
};

}  // namespace pelorix
