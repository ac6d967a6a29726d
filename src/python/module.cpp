// SPDX-License-Identifier: GPL-3.0-or-later
// pelorix._pelorix: the compiled half of the Python package.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/i18n.h"
#include "document.h"
#include "pelorix_version.h"

namespace pelorix::python {
namespace {
PyObject* renderErrorType = nullptr;
}

void raise(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw py::error_already_set();
}

PyObject* renderError() {
  return renderErrorType;
}

namespace {

// Run from the build tree (build/python/pelorix), the catalogues and the video module are in
// build/locale and build/lib/pelorix; installed, the programs' own places are found as usual.
void findBuildTree() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&findBuildTree), &info) || !info.dli_fname) return;
  std::string self = info.dli_fname;
  const std::string tree = self.substr(0, self.find_last_of('/') + 1) + "../../";
  if (::access((tree + "locale/en/LC_MESSAGES/pelorix.mo").c_str(), R_OK) == 0)
    ::setenv("PELORIX_LOCALEDIR", (tree + "locale").c_str(), 0);
  if (::access((tree + "lib/pelorix").c_str(), R_OK) == 0)
    ::setenv("PELORIX_MODULEDIR", (tree + "lib/pelorix").c_str(), 0);
}

}  // namespace

}  // namespace pelorix::python

PYBIND11_MODULE(_pelorix, m) {
  using namespace pelorix::python;
  // Messages in the language of the environment, as pelorix-cli without --lang.
  findBuildTree();
  pelorix::initLanguage("");
  m.doc() = "Pelorix projects from Python: build, change, compose and render them.";
  m.attr("__version__") = PELORIX_VERSION;
  static py::exception<std::runtime_error> error(m, "RenderError", PyExc_RuntimeError);
  renderErrorType = error.ptr();
  bindProject(m);
  bindLayers(m);
  bindMotion(m);
  bindFrames(m);
}
