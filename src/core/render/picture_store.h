// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "imageio/dib_image.h"
#include "imageio/frame_source.h"
#include "imageio/image_error.h"
#include "render/picture_levels.h"

namespace pelorix {

// A decoded picture as the compositor draws it: 32-bit blue, green, red, alpha pixels with
// straight alpha (255 everywhere unless the picture's transparency is kept).
struct CachedPicture {
  DibImage image;
  bool alpha = false;      // some pixel is not opaque
  bool converted = false;  // the file was not 24-bit colour
  int fileDepth = 24;      // bits per pixel of the decoded file
  bool fileAlpha = false;  // the file has transparency, kept or not
  // Its smaller copies, made when a composition shown small needs them (still pictures only).
  std::unique_ptr<PictureLevels> levels = std::make_unique<PictureLevels>();
};

// A file that moves (an animation, a series, a video), as the store knows it.
struct MovingPicture {
  FrameTiming timing;
  std::string kind;
  int width = 0;
  int height = 0;
};

// Decoded pictures shared by the compositors of one conversion run: a picture is decoded by the
// first worker that needs it while the others wait for it, and it stays while any layer slot
// holds it. The frames of moving pictures are kept too, the most recently used first, within a
// budget of bytes; each moving picture is decoded by one worker at a time, in order, a few frames
// ahead. Thread-safe.
class PictureStore {
 public:
  // With reportOnce, how a picture was made is reported by its first decode only, even when a
  // worker that starts late decodes it again after the others have let it go (a run's log
  // names each picture once).
  explicit PictureStore(bool reportOnce = false);
  ~PictureStore();
  struct Result {
    std::shared_ptr<const CachedPicture> picture;  // null when the load failed
    ImageError error;
    bool decodedHere = false;  // this call decoded it (and so reports how)
    bool elsewhere = false;    // without waiting: another caller is decoding it now
    // A moving picture: the frame shown (the last good one when `frame` could not be decoded)
    // and, the first time it is found, the failure to report.
    int64_t shown = 0;
    bool degraded = false;
    std::string firstReport;

    static Result of(std::shared_ptr<const CachedPicture> picture, bool decodedHere = false) {
      Result result;
      result.picture = std::move(picture);
      result.decodedHere = decodedHere;
      return result;
    }
    static Result failure(ImageError error, bool decodedHere = false) {
      Result result;
      result.error = std::move(error);
      result.decodedHere = decodedHere;
      return result;
    }
  };
  // The picture, decoded here when nobody holds or decodes it. Without `wait`, a picture that
  // another caller is decoding is not waited for (elsewhere is set and picture is null).
  Result get(const std::string& path, bool keepAlpha, bool wait = true);
  // Whether `path` moves: its timing, or null for a still picture (looked at once per path; a
  // series counts its frames at `seriesRate`). `error` says why a file that neither a picture
  // decoder nor the video module reads is none; `note`, for the one call that opened the file,
  // what it is (a log line).
  std::shared_ptr<const MovingPicture> moving(const std::string& path, double seriesRate,
                                              ImageError* error = nullptr,
                                              std::string* note = nullptr);
  // Frame `frame` of a moving picture found by moving().
  Result frame(const std::string& path, bool keepAlpha, int64_t frame);
  // Bytes the kept frames of moving pictures may take (besides those in use).
  void setFrameBudget(uint64_t bytes);
  static constexpr uint64_t kDefaultFrameBudget = uint64_t{96} << 20;
  // How many decodes were started so far.
  long decodeCount() const;
  // Bytes of the frames kept now.
  uint64_t keptFrameBytes() const;

 private:
  struct Pending {
    bool done = false;
    ImageError error;
  };
  struct Entry {
    std::weak_ptr<const CachedPicture> picture;
    std::shared_ptr<Pending> pending;
  };
  struct Moving;
  // Pictures of frames let go, kept for the next frames of the same size (fresh memory would
  // have every page faulted in again, frame after frame).
  struct FramePool {
    std::mutex mutex;
    std::vector<DibImage> spare;
    uint64_t bytes = 0;
  };
  std::shared_ptr<CachedPicture> newFrame();
  DibImage spareFrame();
  using FrameKey = std::tuple<std::string, bool, int64_t>;
  std::shared_ptr<const CachedPicture> keptFrame(const FrameKey& key);
  void keepFrame(const FrameKey& key, std::shared_ptr<const CachedPicture> picture);
  Result decodeFrame(Moving& source, const std::string& path, bool keepAlpha, int64_t frame);
  // One frame, kept or decoded (and then kept); null with `error` when it cannot be decoded.
  std::shared_ptr<const CachedPicture> decodeOne(Moving& source, const FrameKey& key,
                                                 ImageError& error);

  mutable std::mutex mutex_;
  std::condition_variable decoded_;
  std::map<std::pair<std::string, bool>, Entry> entries_;
  long decodes_ = 0;
  bool reportOnce_ = false;
  std::set<std::pair<std::string, bool>> reported_;
  std::map<std::string, std::shared_ptr<Moving>> moving_;  // null: a still picture
  // Kept frames, the most recently used at the front.
  std::list<std::pair<FrameKey, std::shared_ptr<const CachedPicture>>> frames_;
  std::map<FrameKey, decltype(frames_)::iterator> frameIndex_;
  uint64_t frameBytes_ = 0;
  uint64_t frameBudget_ = kDefaultFrameBudget;
  std::shared_ptr<FramePool> pool_ = std::make_shared<FramePool>();
};

// Bytes the store may hold for one moving picture whose frames take `frameBytes` each: the
// decoder's own pictures, the frames it keeps and those it reads ahead (the frames the workers
// draw are theirs).
uint64_t movingPictureBytes(uint64_t frameBytes);

// Decodes a picture file into the compositor's form.
ImageError decodePicture(const std::string& path, bool keepAlpha, CachedPicture& out);
// A decoded picture into the compositor's form (the picture is used up).
ImageError convertPicture(DibImage decoded, bool keepAlpha, CachedPicture& out);

}  // namespace pelorix
