#include "render/layer_image_cache.h"

#include <sys/stat.h>

#include "base/c_locale.h"
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

void LayerImageCache::clear() {
  for (Slot& slot : slots_) {
    slot.image.destroy();
    slot.name.clear();
    slot.folder.clear();
    slot.path.clear();
  }
}

bool LayerImageCache::ensure(int layer, int sourceIndex, const std::string& file,
                             const std::string& projectFolder, LogSink& log) {
  Slot& slot = slots_[static_cast<size_t>(layer)];
  // The same name from the same project is the same file: no need to look on disk every frame.
  if (!slot.image.empty() && slot.name == file && slot.folder == projectFolder) return true;
  const std::string path = resolveImagePath(file, projectFolder);
  if (!slot.image.empty() && slot.path == path) {
    slot.name = file;
    slot.folder = projectFolder;
    return true;
  }

  slot.image.destroy();
  slot.name.clear();
  slot.folder.clear();
  slot.path.clear();
  ++decodes_;
  const ImageError loaded = slot.image.load(path);
  if (loaded.failed()) {
    log.appendLog(formatC("Load image failed:%d:%d:%s : %x-%s", layer, sourceIndex, file.c_str(),
                          static_cast<unsigned>(loaded.code()), loaded.errorMessage().c_str()));
    return false;
  }
  if (slot.image.bitsPerPixel() != 24) {
    log.appendLog(formatC("%s はDIBフォーマットまたは24BITカラーではありません。 (%d)カラー",
                          file.c_str(), slot.image.bitsPerPixel()));
    log.appendLog("変換を試みます");
    DibImage converted;
    if (!convertTo24(slot.image, converted)) {
      const ImageError ok;
      log.appendLog(formatC("DIB変換に失敗したみたいです:%d:%d:%s : %x-%s", layer, sourceIndex,
                            file.c_str(), static_cast<unsigned>(ok.code()),
                            ok.errorMessage().c_str()));
      slot.image.destroy();
      return false;
    }
    slot.image = std::move(converted);
  }
  slot.name = file;
  slot.folder = projectFolder;
  slot.path = path;
  return true;
}

}  // namespace pelorix
