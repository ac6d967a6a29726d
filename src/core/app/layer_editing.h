// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pelorix {

class FrameView;
class LayerList;
class Session;

// The layer commands: a new layer, its settings (with the number rule), deleting it.
class MotionEditing;

class LayerEditing {
 public:
  LayerEditing(Session& session, LayerList& lists, FrameView& view, MotionEditing& motion)
      : session_(session), lists_(lists), view_(view), motion_(motion) {}
  void newLayer();
  void layerSettings();
  void deleteLayer();

 private:
  // The layer settings dialog with the number rule, for an existing or a new layer.
  bool runLayerDialog(int index);

  Session& session_;
  LayerList& lists_;
  FrameView& view_;
  MotionEditing& motion_;
};

}  // namespace pelorix
