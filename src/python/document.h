// SPDX-License-Identifier: GPL-3.0-or-later
// The state behind a Python Project: the project, the folder its image names are looked up in,
// and a compositor that keeps what it decoded between frames.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/log_sink.h"
#include "base/row_workers.h"
#include "model/project.h"
#include "render/compositor.h"

namespace pelorix::python {

namespace py = pybind11;

// Log lines of the core, kept until they are handed to Python as warnings.
class KeptLines final : public LogSink {
 public:
  void appendLog(const std::string& line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  std::vector<std::string> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(lines_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

struct Document {
  Document();
  Project project;
  std::string folder;  // ends with '/', or empty: the current folder
  KeptLines log;
  RowWorkers workers;
  Compositor compositor;
  std::mutex composing;  // one frame at a time
  // A mark for each layer slot in use, so that Python's layer objects follow their layer when
  // slots move up after a removal.
  std::vector<uint64_t> layerIds;
  uint64_t nextLayerId = 1;
  void markLayers() {
    layerIds.clear();
    for (int i = 0; i < project.layerCount; ++i)
      layerIds.push_back(nextLayerId++);
  }
};
using DocumentPtr = std::shared_ptr<Document>;

// Hands each line to Python's warnings (RuntimeWarning).
void warnEach(const std::vector<std::string>& lines);
// Raises a Python exception of `type`.
[[noreturn]] void raise(PyObject* type, const std::string& message);
// pelorix.RenderError (a RuntimeError): a render or join that failed.
PyObject* renderError();
// A ValueError with `message` unless it is empty.
void refuse(const std::string& message);

void bindProject(py::module_& module);
void bindLayers(py::module_& module);
void bindMotion(py::module_& module);
void bindFrames(py::module_& module);

}  // namespace pelorix::python
