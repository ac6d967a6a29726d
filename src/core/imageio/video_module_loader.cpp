// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageio/video_module_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "base/c_locale.h"
#include "base/i18n.h"
#include "base/paths.h"
#include "pelorix_version.h"

namespace pelorix {

const VideoModule& videoModule() {
  static VideoModule module;
  static std::once_flag once;
  std::call_once(once, [] {
    if (!PELORIX_HAVE_VIDEO) {
      module.error = _("this Pelorix was built without its video module (PELORIX_VIDEO=OFF)");
      return;
    }
    std::vector<std::string> folders;
    if (const char* chosen = std::getenv("PELORIX_MODULEDIR"); chosen && *chosen)
      folders.emplace_back(chosen);
    const std::string bin = executableFolder();
    if (!bin.empty()) {
      folders.push_back(bin + PELORIX_MODULE_DIR_FROM_BIN);
      folders.push_back(bin + "../lib/pelorix");
      folders.push_back(bin + "../../lib/pelorix");
    }
    folders.emplace_back(PELORIX_MODULE_DIR);
    for (const std::string& folder : folders) {
      const std::string path = folder + "/" + video::kModuleFile;
      if (::access(path.c_str(), R_OK) != 0) continue;
      void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!handle) {
        module.error =
            formatC(_("動画モジュール %s を読み込めません: %s"), path.c_str(), ::dlerror());
        return;
      }
      module.makeEncoder =
          reinterpret_cast<video::MakeEncoder>(::dlsym(handle, video::kMakeEncoderSymbol));
      module.makeDecoder =
          reinterpret_cast<video::MakeDecoder>(::dlsym(handle, video::kMakeDecoderSymbol));
      module.makeJoiner =
          reinterpret_cast<video::MakeJoiner>(::dlsym(handle, video::kMakeJoinerSymbol));
      if (!module.makeEncoder || !module.makeDecoder || !module.makeJoiner) {
        module.makeEncoder = nullptr;
        module.makeDecoder = nullptr;
        module.makeJoiner = nullptr;
        module.error = path + ": not a Pelorix video module of this version";
      }
      return;
    }
    std::string looked;
    for (const std::string& folder : folders) {
      char real[PATH_MAX];
      const std::string shown = ::realpath(folder.c_str(), real) ? std::string(real) : folder;
      if (looked.find(shown) == std::string::npos) looked += (looked.empty() ? "" : ", ") + shown;
    }
    module.error = formatC(_("動画モジュール %s がありません (探した場所: %s)。pelorix-video "
                             "パッケージを入れるか、PELORIX_MODULEDIR でその場所を指定して"
                             "ください。"),
                           video::kModuleFile, looked.c_str());
  });
  return module;
}

std::string videoModuleProblem() {
  const VideoModule& module = videoModule();
  return module.makeEncoder ? std::string() : module.error;
}

}  // namespace pelorix
