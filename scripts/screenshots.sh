#!/usr/bin/env bash
# Starts gorvale under a virtual X server with the shipped example and saves
# a PNG of every page, the bot group's two dialogs, the bot window during a
# run into a local gorvale-world, the DEM view with a selection, the zone view,
# the native-terrain area dialog and two pages in native-terrain mode into
# docs/screenshots/ (or the folder given second, e.g. for a QT_SCALE_FACTOR=2 check).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -x "$build/gorvale" ] || cmake --build "$build" -j2 --target gorvale
[ -x "$build/gorvale-world" ] || cmake --build "$build" -j2 --target gorvale-world
out=${2:-docs/screenshots}
mkdir -p "$out"
# Settings of the screenshot run stay out of the user's own configuration.
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
world_pid=""
cleanup() {
  [ -n "$world_pid" ] && kill "$world_pid" 2>/dev/null && wait "$world_pid" 2>/dev/null
  rm -rf "$XDG_CONFIG_HOME"
}
trap cleanup EXIT
# A local world on a free loopback port, so the bot window is pictured during a run.
world_tool=$(cd "$build" && pwd)/gorvale-world
world_db="$XDG_CONFIG_HOME/world.db"
"$world_tool" --db "$world_db" citizen add --number 1001 --password secret >/dev/null
"$world_tool" --db "$world_db" world add --name terra --eminent-domain 1001 --build all >/dev/null
"$world_tool" --db "$world_db" serve --host 127.0.0.1 --port 0 >"$XDG_CONFIG_HOME/world.out" &
world_pid=$!
for _ in $(seq 50); do
  grep -q '^listening on ' "$XDG_CONFIG_HOME/world.out" && break
  sleep 0.1
done
world_address=$(sed -n 's/^listening on //p' "$XDG_CONFIG_HOME/world.out" | head -1)
[ -n "$world_address" ] || { echo "gorvale-world did not start" >&2; exit 1; }
export GORVALE_SCREENSHOT_WORLD="$world_address"
# The example names its elevation model relative to its own folder.
shots=$(cd "$out" && pwd)
program=$(cd "$build" && pwd)/gorvale
(cd examples && GORVALE_SCREENSHOTS="$shots" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1600x1000x24" "$program" n43.gvl)
ls -1 "$out"
