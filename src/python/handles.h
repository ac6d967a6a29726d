// SPDX-License-Identifier: GPL-3.0-or-later
// Python's layer and source objects: a place in a project, looked up on every use, so that an
// object whose layer was removed says so instead of reaching another.
#pragma once

#include <functional>

#include "document.h"

namespace pelorix {
struct NumberField;
}

namespace pelorix::python {

struct LayerRef {
  DocumentPtr doc;
  uint64_t id = 0;
  static LayerRef at(const DocumentPtr& doc, int index) {
    return {doc, doc->layerIds.at(static_cast<size_t>(index))};
  }
  // The layer's slot and the layer; an IndexError when it is no longer there.
  int index() const;
  Layer& layer() const;
};

struct SourceRef {
  DocumentPtr doc;
  uint64_t layer = 0;  // its LayerRef's id
  int index = 0;
  const Source& source() const;
  // Edits a copy and puts it back, so that the layer's length follows.
  void change(const std::function<void(Source&)>& edit) const;
};

struct CameraRef {
  DocumentPtr doc;
};

// `value`, or a ValueError naming the field and its range, worded as the desktop's.
double checkedNumber(double value, const NumberField& field);

}  // namespace pelorix::python
