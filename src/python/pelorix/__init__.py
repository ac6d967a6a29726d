# SPDX-License-Identifier: GPL-3.0-or-later
"""Pelorix from Python: build, change, compose and render animation projects.

    import pelorix
    project = pelorix.Project.load("demo.pxp")
    frame = project.frame(1.5)            # numpy array (height, width, 4), RGBA
    project.render("out.mp4", crf=20)     # the options of pelorix-cli render

See docs/python.md for the whole interface.
"""

import numpy

from ._pelorix import Camera, Layer, Project, RenderError, Source, __version__
from . import _pelorix

__all__ = ["Camera", "Frame", "Layer", "Project", "RenderError", "Source", "join", "__version__"]


class Frame(numpy.ndarray):
    """A composed frame: a numpy array of shape (height, width, 4), RGBA bytes with straight
    alpha, that a notebook shows as a picture."""

    def _repr_png_(self):
        return _pelorix._encode_png(numpy.ascontiguousarray(self))


def _frame(self, t=0.0, layer=None):
    """The frame at `t` seconds: a Frame (a numpy array of shape (height, width, 4), RGBA
    bytes with straight alpha), the same pixels as `pelorix-cli frame`. With `layer` (a
    number), that layer alone."""
    return self._frame(t, layer).view(Frame)


def _frames(self, start=0, stop=None, step=1):
    """The frames start, start + step, ... before stop (default: frame_count), at i / fps
    seconds as a video holds them; one Frame at a time."""
    if stop is None:
        stop = self.frame_count
    for frame in self._frames(start, stop, step):
        yield frame.view(Frame)


def _option(name, value):
    flag = "--" + name.replace("_", "-")
    if value is True:
        return [flag]
    if value is False or value is None:
        return []
    if name == "frames" and isinstance(value, (tuple, list, range)):
        if isinstance(value, range):
            value = (value.start, value.stop - 1)
        return [flag, "%d-%d" % (value[0], value[1])]
    if name == "size" and isinstance(value, (tuple, list)):
        return [flag, "%dx%d" % (value[0], value[1])]
    return [flag, str(value)]


def _render(self, path, progress=None, **options):
    """Renders the project to `path` (a file such as out.mp4, a folder, or a pattern such as
    shot%04d.png) with the options of `pelorix-cli render`, written with underscores:
    format="jpg", codec="h264", crf=20, size=(640, 360) or "640x360", scale=0.5, fps=24,
    audio="music.ogg", no_audio=True, frames=(0, 99), jobs=2, skip_existing=True ...
    `progress(done, total)` is called as frames are made. The GIL is released while the
    render runs; Ctrl+C stops it with KeyboardInterrupt and leaves nothing. A bad option
    raises ValueError, a failed render RenderError, with the command line's message.
    Returns the number of frames written."""
    args = ["-o", str(path)]
    for name, value in options.items():
        args += _option(name, value)
    return self._render(args, progress)


Project.frame = _frame
Project.frames = _frames
Project.render = _render
Project._repr_png_ = lambda self: _pelorix._encode_png(self.frame(0.0))


def join(parts, output):
    """Joins the parts of one render (made with frames=(a, b) into part files) into one video
    without encoding again; returns what the join did, one line each. Raises RenderError
    naming the part that does not fit, and leaves nothing then or on Ctrl+C."""
    return _pelorix._join([str(p) for p in parts], str(output))
