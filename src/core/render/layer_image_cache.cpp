// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/layer_image_cache.h"

#include <sys/stat.h>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "imageio/pixel_convert.h"
#include "model/text_encoding.h"

namespace pelorix {
namespace {

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool looksLikeWindowsPath(const std::string& file) {
  const bool drive = file.size() >= 2 && file[1] == ':' &&
                     ((file[0] >= 'A' && file[0] <= 'Z') || (file[0] >= 'a' && file[0] <= 'z'));
  return drive || file.find('\\') != std::string::npos || file.rfind("//", 0) == 0;
}

}  // namespace

std::string resolveImagePath(const std::string& name, const std::string& projectFolder) {
  const std::string file = toFileSystemPath(name);
  if (file.empty() || (file.front() == '/' && file.rfind("//", 0) != 0)) return file;
  const std::string beside = projectFolder + file;
  if (!projectFolder.empty() && isRegularFile(beside)) return beside;
  if (isRegularFile(file)) return file;
  if (looksLikeWindowsPath(file)) {
    const size_t cut = file.find_last_of("/\\");
    const std::string byName = projectFolder + file.substr(cut == std::string::npos ? 0 : cut + 1);
    if (isRegularFile(byName)) return byName;
  }
  return projectFolder.empty() ? file : beside;
}

bool LayerImageCache::ensureFrame(Slot& slot, int layer, int sourceIndex, const std::string& file,
                                  double clock, LogSink& log) {
  const int64_t frame = slot.moving->timing.frameAt(clock);
  if (slot.picture && slot.frame == frame) return true;
  const PictureStore::Result got = store_->frame(slot.path, slot.keepAlpha, frame);
  if (!got.firstReport.empty()) log.appendLog(got.firstReport);
  if (!got.picture) {
    log.appendLog(formatC("Load image failed:%d:%d:%s : %x-%s", layer, sourceIndex, file.c_str(),
                          static_cast<unsigned>(got.error.code()),
                          got.error.errorMessage().c_str()));
    slot = Slot{};
    return false;
  }
  slot.picture = got.picture;
  slot.frame = frame;
  slot.degraded = got.degraded;
  return true;
}

void LayerImageCache::clear() {
  for (Slot& slot : slots_)
    slot = Slot{};
}

const DibImage& LayerImageCache::image(int layer) const {
  static const DibImage none;
  const Slot& slot = slots_[static_cast<size_t>(layer)];
  return slot.picture ? slot.picture->image : none;
}

bool LayerImageCache::hasAlpha(int layer) const {
  const Slot& slot = slots_[static_cast<size_t>(layer)];
  return slot.picture && slot.picture->alpha;
}

void LayerImageCache::prefetch(int layer, const std::string& file, const std::string& projectFolder,
                               bool keepAlpha) {
  Slot& slot = slots_[static_cast<size_t>(layer)];
  if (slot.holds(file, projectFolder, keepAlpha)) return;
  if (slot.fetched && slot.fetched->matches(file, projectFolder, keepAlpha)) return;
  Fetched fetched{file, projectFolder, resolveImagePath(file, projectFolder), keepAlpha, {}};
  // Moving pictures decode their frames when they are drawn.
  if (store_->moving(fetched.path, seriesRate_)) return;
  fetched.result = store_->get(fetched.path, keepAlpha, false);
  if (fetched.result.elsewhere) return;  // ensure() waits for it
  slot.fetched = std::move(fetched);
}

bool LayerImageCache::ensure(int layer, int sourceIndex, const std::string& file,
                             const std::string& projectFolder, LogSink& log, bool keepAlpha,
                             double clock) {
  Slot& slot = slots_[static_cast<size_t>(layer)];
  if (slot.holds(file, projectFolder, keepAlpha)) {
    if (!slot.moving) return true;
    return ensureFrame(slot, layer, sourceIndex, file, clock, log);
  }
  std::optional<Fetched> fetched = std::move(slot.fetched);
  slot.fetched.reset();
  if (fetched && !fetched->matches(file, projectFolder, keepAlpha)) fetched.reset();
  const std::string path = fetched ? fetched->path : resolveImagePath(file, projectFolder);
  if (slot.picture && slot.path == path && slot.keepAlpha == keepAlpha && !slot.moving) {
    slot.name = file;
    slot.folder = projectFolder;
    return true;
  }

  slot = Slot{};
  // A picture that moves shows the frame of its clock.
  ImageError notAPicture;
  std::string note;
  auto moving = store_->moving(path, seriesRate_, &notAPicture, &note);
  if (!note.empty()) log.appendLog(note);
  if (moving) {
    slot.name = file;
    slot.folder = projectFolder;
    slot.path = path;
    slot.keepAlpha = keepAlpha;
    slot.moving = std::move(moving);
    slot.frame = -1;
    return ensureFrame(slot, layer, sourceIndex, file, clock, log);
  }
  if (notAPicture.failed()) {
    log.appendLog(formatC("Load image failed:%d:%d:%s : %x-%s", layer, sourceIndex, file.c_str(),
                          static_cast<unsigned>(notAPicture.code()),
                          notAPicture.errorMessage().c_str()));
    return false;
  }
  const PictureStore::Result got =
      fetched ? std::move(fetched->result) : store_->get(path, keepAlpha);
  if (!got.picture) {
    log.appendLog(formatC("Load image failed:%d:%d:%s : %x-%s", layer, sourceIndex, file.c_str(),
                          static_cast<unsigned>(got.error.code()),
                          got.error.errorMessage().c_str()));
    return false;
  }
  // How the picture was made is told once, by the cache that decoded it.
  if (got.decodedHere) {
    const CachedPicture& picture = *got.picture;
    if (picture.converted && !(keepAlpha && picture.fileAlpha)) {
      log.appendLog(formatC(_("%s はDIBフォーマットまたは24BITカラーではありません。 (%d)カラー"),
                            file.c_str(), picture.fileDepth));
      log.appendLog(_("変換を試みます"));
    }
    if (picture.fileAlpha && !keepAlpha) {
      log.appendLog(formatC(
          _("%s は透明度を持っています。レイヤー設定の「画像の透明度を使う」で反映できます。"),
          file.c_str()));
    }
  }
  slot.picture = got.picture;
  slot.name = file;
  slot.folder = projectFolder;
  slot.path = path;
  slot.keepAlpha = keepAlpha;
  return true;
}

}  // namespace pelorix
