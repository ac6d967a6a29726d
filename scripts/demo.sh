#!/usr/bin/env bash
# Installs what is missing, builds Pelorix, and runs the main job on the bundled example
# project: its project summary, then every frame of the animation rendered into out/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
scripts/build.sh plain
build/src/cli/pelorix-cli info examples/demo/demo.pxp
