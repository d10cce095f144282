#!/usr/bin/env bash
# Starts gorvale under a virtual X server with the shipped example and saves
# a PNG of every page, the DEM view with a selection and the zone view into
# docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -x "$build/gorvale" ] || cmake --build "$build" -j2 --target gorvale
out=docs/screenshots
mkdir -p "$out"
# Settings of the screenshot run stay out of the user's own configuration.
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
GORVALE_SCREENSHOTS="$PWD/$out" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24" "$build/gorvale" examples/n43.gvl
ls -1 "$out"
