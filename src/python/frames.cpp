// SPDX-License-Identifier: GPL-3.0-or-later
// Frames into NumPy, renders through the command line's own options, and joins.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <future>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include <CLI/CLI.hpp>

#include "app.h"
#include "base/c_locale.h"
#include "base/i18n.h"
#include "commands.h"
#include "document.h"
#include "imageio/codec.h"
#include "imageio/pixel_convert.h"
#include "output/parts.h"
#include "output/run_plan.h"
#include "render/draw_list.h"
#include "render/picture_store.h"
#include "render/timeline.h"
#include "render_hooks.h"
#include "render_report.h"

namespace pelorix::python {
namespace {

using Frame = py::array_t<uint8_t, py::array::c_style>;

// The compositor's log lines as Python warnings, in the command line's words.
void warnLog(std::vector<std::string> lines) {
  for (std::string& line : lines)
    line = cli::terminalText(line);
  warnEach(lines);
}

// The layers drawn: all the visible ones, or the one numbered `layer` alone.
std::vector<int> layersOf(const Project& project, std::optional<int> layer) {
  if (!layer) return buildDrawList(project).layers;
  const int index = project.findLayerByNumber(*layer);
  if (index < 0) throw py::key_error(formatC(_("the project has no layer numbered %d"), *layer));
  return {index};
}

// The frame at `t` as rows of red, green, blue, alpha bytes (straight alpha): what
// `pelorix-cli frame` writes.
Frame compose(Document& d, double t, std::optional<int> layer) {
  const Project project = d.project;
  const std::vector<int> layers = layersOf(project, layer);
  const float at = static_cast<float>(t);
  refuse(frameSizeProblem(project.outputWidth, project.outputHeight));
  if (const std::string problem = memoryProblem(frameMemoryNeed(project, layers, at, d.folder));
      !problem.empty()) {
    raise(PyExc_MemoryError, problem);
  }
  Frame frame({project.outputHeight, project.outputWidth, 4});
  uint8_t* out = frame.mutable_data();
  bool made = true;
  {
    py::gil_scoped_release release;
    std::lock_guard lock(d.composing);
    DibImage canvas;
    if (!d.compositor.composeFrame(canvas, project, layers, at))
      made = d.compositor.makeBlankFrame(canvas, project);
    if (made) {
      // Over the row workers: at 720p the bytes cost a third of composing them.
      const size_t rowBytes = static_cast<size_t>(canvas.width()) * 4;
      d.workers.run(0, canvas.height(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y)
          readRowRgba(canvas, y, out + rowBytes * static_cast<size_t>(y));
      });
    }
  }
  warnLog(d.log.take());
  if (!made) raise(PyExc_MemoryError, _("there is not enough memory for the frame"));
  return frame;
}

// Iterates the frames of [start, stop) at i / fps, as a video holds them, of the project as it
// was when the iteration began. Two threads compose the next frames ahead, each a whole frame
// with a compositor of its own (as a render's workers do), while Python takes the one before;
// each frame's bytes become the array without a copy.
class FrameIterator {
 public:
  FrameIterator(const DocumentPtr& doc, int start, int stop, int step)
      : project_(doc->project),
        layers_(buildDrawList(project_).layers),
        scheduled_(start),
        stop_(stop),
        step_(step) {
    refuse(frameSizeProblem(project_.outputWidth, project_.outputHeight));
    for (Slot& slot : slots_) {
      slot.compositor.setProjectFolder(doc->folder);
      slot.compositor.setPictureStore(&store_);
    }
  }
  FrameIterator(const FrameIterator&) = delete;
  FrameIterator& operator=(const FrameIterator&) = delete;

  py::array next() {
    fill();
    if (ahead_.empty()) throw py::stop_iteration();
    Made made;
    {
      py::gil_scoped_release release;
      made = ahead_.front().get();
    }
    ahead_.pop_front();
    fill();
    warnLog(std::move(made.log));
    if (!made.ok) raise(PyExc_MemoryError, _("there is not enough memory for the frame"));
    auto* pixels = new std::vector<uint8_t>(std::move(made.pixels));
    py::capsule owner(pixels, [](void* p) { delete static_cast<std::vector<uint8_t>*>(p); });
    return Frame({project_.outputHeight, project_.outputWidth, 4}, pixels->data(), owner);
  }

 private:
  struct Slot {
    KeptLines log;
    Compositor compositor{log};
  };
  struct Made {
    std::vector<uint8_t> pixels;
    bool ok = true;
    std::vector<std::string> log;
  };
  void fill() {
    while (ahead_.size() < slots_.size() && (step_ > 0 ? scheduled_ < stop_ : scheduled_ > stop_)) {
      const int index = scheduled_;
      scheduled_ += step_;
      Slot& slot = slots_[made_++ % slots_.size()];
      ahead_.push_back(
          std::async(std::launch::async, [this, &slot, index] { return make(slot, index); }));
    }
  }
  Made make(Slot& slot, int index) const {
    const auto t = static_cast<float>(index / static_cast<double>(project_.fps));
    DibImage canvas;
    Made made;
    if (!slot.compositor.composeFrame(canvas, project_, layers_, t))
      made.ok = slot.compositor.makeBlankFrame(canvas, project_);
    if (made.ok) {
      const size_t rowBytes = static_cast<size_t>(canvas.width()) * 4;
      made.pixels.resize(rowBytes * static_cast<size_t>(canvas.height()));
      for (int y = 0; y < canvas.height(); ++y)
        readRowRgba(canvas, y, made.pixels.data() + rowBytes * static_cast<size_t>(y));
    }
    made.log = slot.log.take();
    return made;
  }

  const Project project_;
  const std::vector<int> layers_;
  PictureStore store_;
  std::array<Slot, 2> slots_;
  std::deque<std::future<Made>> ahead_;
  size_t made_ = 0;
  int scheduled_;
  int stop_;
  int step_;
};

// What Python's handlers said while the GIL was away: the first error, kept to raise later.
struct PythonError {
  std::optional<py::error_already_set> error;
  bool check() {
    if (!error && PyErr_CheckSignals() != 0) error.emplace();
    return error.has_value();
  }
};

// The command line's message without its program name, one per line.
std::string withoutProgramName(const std::string& text) {
  std::string out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("pelorix-cli: ", 0) == 0) line.erase(0, 13);
    if (line.empty() || line.rfind("Usage:", 0) == 0 || line.find("--help") != std::string::npos)
      continue;
    out += (out.empty() ? "" : "\n") + line;
  }
  return out;
}

int render(const DocumentPtr& d, std::vector<std::string> args, const py::object& progress) {
  const Project project = d->project;
  // The project file's name only gives the folder its images are in.
  args.insert(args.begin(), {"pelorix-cli", "render", d->folder + "project.pxp", "--quiet"});
  std::vector<char*> argv;
  for (std::string& arg : args)
    argv.push_back(arg.data());
  PythonError python;
  cli::RenderHooks hooks;
  hooks.project = &project;
  hooks.progress = [&](int done, int total) {
    py::gil_scoped_acquire gil;
    if (python.error || progress.is_none()) return;
    try {
      progress(done, total);
    } catch (py::error_already_set& error) {
      python.error.emplace(std::move(error));
    }
  };
  hooks.stop = [&] {
    py::gil_scoped_acquire gil;
    return python.check();
  };
  // The command line's messages are read from standard error's stream, which the process has
  // once: renders from several Python threads take turns (waiting without the GIL).
  static std::mutex oneAtATime;
  std::unique_lock turn(oneAtATime, std::defer_lock);
  {
    py::gil_scoped_release release;
    turn.lock();
  }
  std::ostringstream said;
  std::streambuf* const cerr = std::cerr.rdbuf(said.rdbuf());
  int status = 0;
  try {
    py::gil_scoped_release release;
    cli::ScopedRenderHooks scoped(hooks);
    cli::CliApp app;
    status = app.run(static_cast<int>(argv.size()), argv.data());
  } catch (...) {
    std::cerr.rdbuf(cerr);
    throw;
  }
  std::cerr.rdbuf(cerr);
  if (python.error) throw std::move(*python.error);
  const std::string message = withoutProgramName(said.str());
  switch (status) {
    case cli::kExitOk:
      warnEach(message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message});
      if (!progress.is_none()) progress(hooks.framesDone, hooks.framesDone);
      return hooks.framesDone;
    case cli::kExitUsage:
      throw py::value_error(message);
    case cli::kExitAborted:
      raise(PyExc_KeyboardInterrupt, message);
    default:
      raise(renderError(), message);
  }
}

std::vector<std::string> join(const std::vector<std::string>& parts, const std::string& output) {
  std::vector<std::string> log;
  std::string failed;
  std::atomic<bool> stop = false;
  std::atomic<bool> done = false;
  PythonError python;
  {
    py::gil_scoped_release release;
    std::thread joining([&] {
      failed = joinParts(parts, output, log, &stop);
      done = true;
    });
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      py::gil_scoped_acquire gil;
      if (python.check()) stop = true;
    }
    joining.join();
  }
  if (python.error) throw std::move(*python.error);
  if (!failed.empty()) {
    raise(renderError(), failed);
  }
  return log;
}

// A picture of RGBA rows as PNG file bytes (for notebooks).
py::bytes encodePng(const py::array_t<uint8_t, py::array::c_style | py::array::forcecast>& rgba) {
  if (rgba.ndim() != 3 || rgba.shape(2) != 4)
    throw py::value_error(_("a frame is an array of shape (height, width, 4)"));
  const int height = static_cast<int>(rgba.shape(0));
  const int width = static_cast<int>(rgba.shape(1));
  DibImage image;
  if (!image.create(width, -height, 32, BI_RGB, nullptr, kCreateAlpha))
    throw py::value_error(frameSizeProblem(width, height));
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = rgba.data(y, 0, 0);
    uint8_t* out = image.row(y);
    for (int x = 0; x < width; ++x, in += 4, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = in[3];
    }
  }
  std::vector<uint8_t> bytes;
  if (ImageError error = pngCodec().encode(image, {}, bytes); error.failed())
    throw py::value_error(error.errorMessage());
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

void bindFrames(py::module_& m) {
  auto project = py::reinterpret_borrow<py::class_<Document, DocumentPtr>>(m.attr("Project"));
  project.def(
      "_frame",
      [](Document& d, double t, std::optional<int> layer) { return compose(d, t, layer); },
      py::arg("t") = 0.0, py::arg("layer") = py::none(),
      "The frame at `t` seconds (of one layer alone, by number, when `layer` is given): a "
      "numpy.ndarray of shape (height, width, 4), RGBA bytes with straight alpha.");
  py::class_<FrameIterator>(m, "_FrameIterator")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", &FrameIterator::next);
  project.def(
      "_frames",
      [](const DocumentPtr& d, int start, int stop, int step) {
        if (step == 0) throw py::value_error(_("step must not be zero"));
        return std::make_unique<FrameIterator>(d, start, stop, step);
      },
      py::arg("start"), py::arg("stop"), py::arg("step"));
  project.def("_render", render, py::arg("args"), py::arg("progress"));
  m.def("_join", join, py::arg("parts"), py::arg("output"));
  m.def("_encode_png", encodePng, py::arg("rgba"));
}

}  // namespace pelorix::python
