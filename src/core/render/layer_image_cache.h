#pragma once

#include <array>
#include <string>

#include "base/log_sink.h"
#include "imageio/dib_image.h"
#include "model/project.h"

namespace pelorix {

// Where an image name of a source is found: an absolute path as it is; a relative name beside
// the project file first, then in the current folder; a Windows-style path (drive letter,
// backslashes) that is found nowhere by its base name beside the project file. When nothing
// exists the first place looked at is returned, so the load reports it.
std::string resolveImagePath(const std::string& file, const std::string& projectFolder);

// The last decoded picture of each layer slot, always 24 bits per pixel, kept until the layer
// shows another file. A slot is valid for a source when the source's file resolves to the path
// the slot was loaded from; nothing else refreshes it (a file replaced on disk keeps showing
// the old picture until the layer shows another file).
class LayerImageCache {
 public:
  // Makes sure slot `layer` holds the picture of `file` (source `sourceIndex` of that layer) at
  // 24 bits, decoding and converting it when needed. Failures go to `log` and empty the slot.
  bool ensure(int layer, int sourceIndex, const std::string& file, const std::string& projectFolder,
              LogSink& log);

  const DibImage& image(int layer) const { return slots_[static_cast<size_t>(layer)].image; }
  // The source file name the slot was loaded for; empty when the slot is empty.
  const std::string& name(int layer) const { return slots_[static_cast<size_t>(layer)].name; }
  // How many files were decoded so far.
  long decodeCount() const { return decodes_; }
  void clear();

 private:
  struct Slot {
    DibImage image;
    std::string name;
    std::string folder;  // the project folder the name was resolved against
    std::string path;
  };
  std::array<Slot, kMaxLayers> slots_;
  long decodes_ = 0;
};

}  // namespace pelorix
