// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "imageio/dib_image.h"
#include "imageio/image_error.h"

namespace pelorix {

// A decoded picture as the compositor draws it: 32-bit blue, green, red, alpha pixels with
// straight alpha (255 everywhere unless the picture's transparency is kept).
struct CachedPicture {
  DibImage image;
  bool alpha = false;      // some pixel is not opaque
  bool converted = false;  // the file was not 24-bit colour
  int fileDepth = 24;      // bits per pixel of the decoded file
  bool fileAlpha = false;  // the file has transparency, kept or not
};

// Decoded pictures shared by the compositors of one conversion run: a picture is decoded by the
// first worker that needs it while the others wait for it, and it stays while any layer slot
// holds it. Thread-safe.
class PictureStore {
 public:
  // With reportOnce, how a picture was made is reported by its first decode only, even when a
  // worker that starts late decodes it again after the others have let it go (a run's log
  // names each picture once).
  explicit PictureStore(bool reportOnce = false) : reportOnce_(reportOnce) {}
  struct Result {
    std::shared_ptr<const CachedPicture> picture;  // null when the load failed
    ImageError error;
    bool decodedHere = false;  // this call decoded it (and so reports how)
    bool elsewhere = false;    // without waiting: another caller is decoding it now
  };
  // The picture, decoded here when nobody holds or decodes it. Without `wait`, a picture that
  // another caller is decoding is not waited for (elsewhere is set and picture is null).
  Result get(const std::string& path, bool keepAlpha, bool wait = true);
  // How many decodes were started so far.
  long decodeCount() const;

 private:
  struct Pending {
    bool done = false;
    ImageError error;
  };
  struct Entry {
    std::weak_ptr<const CachedPicture> picture;
    std::shared_ptr<Pending> pending;
  };
  mutable std::mutex mutex_;
  std::condition_variable decoded_;
  std::map<std::pair<std::string, bool>, Entry> entries_;
  long decodes_ = 0;
  bool reportOnce_ = false;
  std::set<std::pair<std::string, bool>> reported_;
};

// Decodes a picture file into the compositor's form.
ImageError decodePicture(const std::string& path, bool keepAlpha, CachedPicture& out);

}  // namespace pelorix
