#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Pelorix, and runs the main job on the bundled example
# project: its summary, then every frame of the animation rendered into examples/demo/out/, and
# the same animation as one video, examples/demo/out/demo.mp4; then the motion example
# (examples/motion) as examples/motion/out/motion.mp4.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
scripts/build.sh plain
build/src/cli/pelorix-cli info examples/demo/demo.pxp
build/src/cli/pelorix-cli render examples/demo/demo.pxp
build/src/cli/pelorix-cli render examples/demo/demo.pxp -o examples/demo/out/demo.mp4
# The second example: keys, a parent and a camera (docs/project-format.md, "Motion").
build/src/cli/pelorix-cli render examples/motion/motion.pxp -o examples/motion/out/motion.mp4
echo "The frames are in examples/demo/out/ (frame0000.png ... frame0036.png), the video in"
echo "examples/demo/out/demo.mp4; the motion example in examples/motion/out/motion.mp4."
