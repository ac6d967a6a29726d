# SPDX-License-Identifier: GPL-3.0-or-later
# The Python package against the command line: the same pixels, the same files, the same
# refusals. Run by CTest with PYTHONPATH at the build tree's package.
import os
import shutil
import signal
import struct
import subprocess
import sys
import zlib

import numpy
import pytest

import pelorix

CLI = os.environ["PELORIX_CLI"]
SOURCE = os.environ["PELORIX_SOURCE_DIR"]
DEMO = os.path.join(SOURCE, "examples", "demo", "demo.pxp")
MOTION = os.path.join(SOURCE, "examples", "motion", "motion.pxp")


def read_png(path):
    """RGBA rows of an 8-bit RGB or RGBA PNG, unfiltered here so that no other decoder is
    trusted."""
    data = open(path, "rb").read()
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    assert depth == 8 and colour in (2, 6)
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows = numpy.zeros((height, stride), numpy.int32)
    for y in range(height):
        line = numpy.frombuffer(raw, numpy.uint8, stride, y * (stride + 1) + 1).astype(numpy.int32)
        kind = raw[y * (stride + 1)]
        prior = rows[y - 1] if y else numpy.zeros(stride, numpy.int32)
        out = numpy.zeros(stride, numpy.int32)
        for x in range(stride):
            a = out[x - channels] if x >= channels else 0
            b, c = prior[x], (prior[x - channels] if x >= channels else 0)
            if kind == 0:
                pred = 0
            elif kind == 1:
                pred = a
            elif kind == 2:
                pred = b
            elif kind == 3:
                pred = (a + b) // 2
            else:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            out[x] = (line[x] + pred) & 255
        rows[y] = out
    pixels = rows.reshape(height, width, channels).astype(numpy.uint8)
    if channels == 3:
        pixels = numpy.dstack([pixels, numpy.full((height, width), 255, numpy.uint8)])
    return pixels


def cli_frame(project, t, tmp_path, *extra):
    out = tmp_path / ("f%s.png" % t)
    subprocess.run([CLI, "frame", project, "--at", str(t), "-o", str(out), "--png-level", "0",
                    *extra], check=True)
    return read_png(out)


@pytest.mark.parametrize("path,t", [(DEMO, 0.0), (DEMO, 1.75), (MOTION, 0.0), (MOTION, 2.3)])
def test_frames_are_the_command_lines_pixels(path, t, tmp_path):
    project = pelorix.Project.load(path)
    frame = project.frame(t)
    assert frame.shape == (project.height, project.width, 4) and frame.dtype == numpy.uint8
    assert numpy.array_equal(frame, cli_frame(path, t, tmp_path))
    # A transparent background gives straight alpha, as the PNG does.
    shutil.copytree(os.path.dirname(path), tmp_path / "p")
    copy = tmp_path / "p" / os.path.basename(path)
    clear = pelorix.Project.load(str(copy))
    clear.transparent = True
    clear.save(str(copy))
    assert numpy.array_equal(clear.frame(t), cli_frame(str(copy), t, tmp_path))
    assert frame._repr_png_().startswith(b"\x89PNG")


def test_frames_iterate_as_a_video_holds_them():
    project = pelorix.Project.load(MOTION)
    frames = list(project.frames(10, 13))
    assert len(frames) == 3
    assert numpy.array_equal(frames[1], project.frame(11 / project.fps))
    assert len(list(project.frames(project.frame_count - 2))) == 2


def test_a_project_built_here_saves_as_the_desktop_writes_it(tmp_path):
    project = pelorix.Project.new(320, 240, 24)
    project.name = "Pelorix motion"
    project.save_folder, project.save_name, project.output_format = "out", "frame", "png"
    landscape = project.add_layer(name="landscape")
    landscape.interpolate = True
    landscape.add_source("landscape.png", 4, glide=False)
    body = project.add_layer(name="body")
    body.interpolate = body.use_alpha = True
    body.add_source("body.png", 4, y=-30, glide=False)
    arm = project.add_layer(name="arm")
    arm.interpolate = arm.use_alpha = True
    arm.add_source("arm.png", 4, y=-34, glide=False)
    for i in range(9):
        body.set_key("position", i / 2, (220 - 55 * i, -5 * (i % 2)))
    arm.parent = body
    arm.pivot = (0, -10)
    for i in range(9):
        arm.set_key("rotation", i / 2, 35 if i % 2 else -35, curve="ease-in-out")
    project.camera.set_key("position", 0, (200, 0), curve=(0.42, 0, 0.58, 1))
    project.camera.set_key("position", 4, (-200, 0))
    project.camera.set_key("zoom", 0, 1.0)
    project.camera.set_key("zoom", 4, 1.15)
    project.save(str(tmp_path / "built.pxp"))
    subprocess.run([CLI, "save-as", MOTION, str(tmp_path / "desktop.pxp")], check=True)
    assert (tmp_path / "built.pxp").read_bytes() == (tmp_path / "desktop.pxp").read_bytes()
    assert arm.keys("rotation")[1] == {"time": 0.5, "value": 35.0, "curve": "ease-in-out",
                                       "tangents": None}
    assert project.camera.value_at("zoom", 2.0) == pytest.approx(1.075)


def test_bad_values_are_refused_with_their_range():
    project = pelorix.Project.new()
    layer = project.add_layer()
    source = layer.add_source("a.png")
    for change, words in [
        (lambda: setattr(source, "scale", 1001), "1000"),
        (lambda: setattr(source, "opacity", -0.5), "0 "),
        (lambda: setattr(project, "width", 0), "65535"),
        (lambda: setattr(project, "fps", 0), "1000"),
        (lambda: layer.add_source("b.png", duration=-1), "86400"),
        (lambda: setattr(layer, "key_color", (0, 256, 0)), "255"),
        (lambda: setattr(layer, "blend", "plus"), "multiply"),
        (lambda: layer.set_key("scale", 0, 1, curve="bouncy"), "ease-in-out"),
        (lambda: layer.set_key("size", 0, 1), "opacity"),
    ]:
        with pytest.raises(ValueError, match=words):
            change()
    assert source.scale == 1.0 and project.width == 320 and len(layer.sources) == 1
    other = project.add_layer()
    other.parent = layer
    with pytest.raises(ValueError):
        layer.parent = other  # a circle
    with pytest.raises(ValueError):
        other.number = layer.number
    for _ in range(14):
        project.add_layer()
    with pytest.raises(ValueError, match="16"):
        project.add_layer()
    project.remove_layer(layer)
    with pytest.raises(IndexError):
        layer.name  # gone: the object says so rather than reach the layer now in its slot
    assert project.layers[0] == other and other.parent is None
    with pytest.raises(FileNotFoundError):
        pelorix.Project.load("/nonexistent/x.pxp")


def test_render_takes_the_command_lines_options(tmp_path):
    project = pelorix.Project.load(DEMO)
    seen = []
    written = project.render(tmp_path / "out", format="png", frames=(2, 4), progress=lambda d, t: seen.append((d, t)))
    assert written == 3 and sorted(os.listdir(tmp_path / "out")) == ["frame0002.png", "frame0003.png", "frame0004.png"]
    assert seen and seen[-1] == (3, 3)
    with pytest.raises(ValueError, match="quality"):
        project.render(tmp_path / "o2", format="jpg", quality=500)
    assert not (tmp_path / "o2").exists()
    # A join of what is no part of a render is refused by name, and leaves nothing.
    with pytest.raises(pelorix.RenderError, match="frame0002.png"):
        pelorix.join([tmp_path / "out" / "frame0002.png"], tmp_path / "joined.mkv")
    assert not (tmp_path / "joined.mkv").exists()
    project.layers[1].sources[0].file = "missing.png"
    with pytest.raises(pelorix.RenderError, match="missing.png"):
        project.render(tmp_path / "o3", format="png", frames=(0, 0))


INTERRUPTED = """
import os, signal, sys, pelorix
project = pelorix.Project.load(sys.argv[1])
def progress(done, total):
    if done >= 2:
        os.kill(os.getpid(), signal.SIGINT)
try:
    project.render(sys.argv[2], size=(1920, 1440), jobs=1, progress=progress)
except KeyboardInterrupt:
    print("interrupted")
"""


def test_ctrl_c_stops_a_render_and_leaves_nothing(tmp_path):
    out = tmp_path / "anim.webp"
    result = subprocess.run([sys.executable, "-c", INTERRUPTED, DEMO, str(out)],
                            capture_output=True, text=True, timeout=120)
    assert result.stdout.strip() == "interrupted", result.stderr
    assert os.listdir(tmp_path) == []
