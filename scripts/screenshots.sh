#!/usr/bin/env bash
# Starts gorvale under a virtual X server with the shipped example and saves
# a PNG of every page, the DEM view with a selection, the zone view, the
# native-terrain area dialog and two pages in native-terrain mode into
# docs/screenshots/ (or the folder given second, e.g. for a QT_SCALE_FACTOR=2 check).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -x "$build/gorvale" ] || cmake --build "$build" -j2 --target gorvale
out=${2:-docs/screenshots}
mkdir -p "$out"
# Settings of the screenshot run stay out of the user's own configuration.
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
# The example names its elevation model relative to its own folder.
shots=$(cd "$out" && pwd)
program=$(cd "$build" && pwd)/gorvale
(cd examples && GORVALE_SCREENSHOTS="$shots" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24" "$program" n43.gvl)
ls -1 "$out"
