#!/usr/bin/env bash
# Times the reading of a 3601 x 3601 elevation model in four formats - USGS
# DEM, ARC/INFO ASCII grid, Binary Terrain and an SRTM HGT tile (read through
# GDAL) - by this program and by GDAL, and reports our peak memory.
#
#   bench/read_bench.sh [BUILD_DIR]      (default: build beside this folder)
#   SIZE=1201 RUNS=5 bench/read_bench.sh
#   ONLY="SRTM HGT" bench/read_bench.sh  (the formats whose label matches)
#
# One synthetic Int16 GeoTIFF (python3 with numpy and GDAL's bindings; without
# them, the DTED sample in tests/data resampled with gdalwarp) is
# written by gdal_translate as USGSDEM, AAIGrid, BT and SRTMHGT (the source
# covers the tile N43W080, so SIZE must be 1201 or 3601). Everything lives in a
# temporary folder (on /dev/shm when there is one, so both sides read and GDAL
# writes in memory) and is removed afterwards.
#
# Our side is `gorvale-cli info FILE`: the open command's format detection,
# the reader and the common reader tail. GDAL's side is
# `gdal_translate -of ENVI FILE` into the same folder. Each side runs RUNS
# times; the run with the least CPU time (user + system) counts, and its wall
# time is shown beside it. On a machine shared with other jobs wall times swing
# widely; the CPU times are the comparison.
#
# Memory: our peak resident set (/usr/bin/time -v "Maximum resident set size")
# against the format's factor x the grid's own size + 30 MiB (1.5 for our own
# readers, 1 for the SRTM tile read through GDAL), the grid's size being the
# cells the reader stored (rows x columns x 4 bytes, from `gorvale-cli info --json`).
#
# With numpy, each format's cells are also checked against GDAL's: our grid
# (row 0 south, column 0 east) turned to GDAL's orientation must equal GDAL's
# values up to one constant (the Binary Terrain reader moves the minimum to 0).
#
# Exit status: 0 when every target is met, 1 when one is missed, 2 on a fault.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
SIZE=${SIZE:-3601}
RUNS=${RUNS:-3}
TIME=/usr/bin/time
CLI="$BUILD/gorvale-cli"

for tool in gdal_translate "$TIME"; do
    command -v "$tool" >/dev/null || { echo "read_bench: $tool is needed" >&2; exit 2; }
done
if [ ! -x "$CLI" ]; then
    cmake --build "$BUILD" --target gorvale-cli >/dev/null
fi

base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
WORK=$(mktemp -d "$base/gorvale-read-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

loadBefore=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- the source grid ----------------------------------------------------------
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3
HAVE_NUMPY=0
if "$PY" -c 'import numpy, osgeo' 2>/dev/null; then
    HAVE_NUMPY=1
    "$PY" - "$WORK/source.tif" "$SIZE" <<'EOF'
import sys
import numpy as np
from osgeo import gdal, osr
gdal.UseExceptions()
path, n = sys.argv[1], int(sys.argv[2])
y, x = np.mgrid[0:n, 0:n].astype(np.float32)
z = (800 + 300 * np.sin(x / 170.0) * np.cos(y / 230.0) + 120 * np.sin((x + y) / 37.0)
     + 40 * np.cos(x / 11.0 - y / 13.0)).astype(np.int16)
ds = gdal.GetDriverByName('GTiff').Create(path, n, n, 1, gdal.GDT_Int16)
step = 1.0 / (n - 1)  # one degree, corner to corner
ds.SetGeoTransform((-80.0 - step / 2, step, 0, 44.0 + step / 2, 0, -step))
srs = osr.SpatialReference()
srs.ImportFromEPSG(4267)
ds.SetProjection(srs.ExportToWkt())
ds.GetRasterBand(1).WriteArray(z)
ds = None
EOF
else
    dted="$ROOT/tests/data/dted/n43.dt0"
    [ -f "$dted" ] || { echo "read_bench: need python3 with numpy and GDAL, or $dted" >&2; exit 2; }
    gdalwarp -q -ts "$SIZE" "$SIZE" -r bilinear -ot Int16 "$dted" "$WORK/source.tif"
fi

# label, GDAL driver, file name, memory factor
FORMATS=(
    "USGS DEM|USGSDEM|bench.dem|1.5"
    "ASCII grid|AAIGrid|bench.asc|1.5"
    "Binary Terrain|BT|bench.bt|1.5"
    "SRTM HGT|SRTMHGT|N43W080.hgt|1"
)
if [ -n "${ONLY:-}" ]; then
    chosen=()
    for entry in "${FORMATS[@]}"; do
        case ${entry%%|*} in *"$ONLY"*) chosen+=("$entry") ;; esac
    done
    FORMATS=("${chosen[@]}")
fi
for entry in "${FORMATS[@]}"; do
    IFS='|' read -r _ driver file _ <<<"$entry"
    gdal_translate -q --config GDAL_PAM_ENABLED NO -of "$driver" "$WORK/source.tif" "$WORK/$file"
done
rm -f "$WORK/source.tif"

# ---- timing -------------------------------------------------------------------
# best of RUNS by CPU time: prints "wall cpu peakKiB". Bash's time keyword
# gives the times to the millisecond (/usr/bin/time rounds to 10 ms); the peak
# comes from /usr/bin/time -v, whose own share of the times is negligible.
best_of() {
    local best="" line wall user sys peak
    for _ in $(seq "$RUNS"); do
        if ! { TIMEFORMAT='%3R %3U %3S'; time "$TIME" -v -o "$WORK/time.txt" "$@" \
            >/dev/null 2>"$WORK/err.txt"; } 2>"$WORK/times.txt"; then
            echo "read_bench: $* failed: $(cat "$WORK/err.txt")" >&2
            return 2
        fi
        read -r wall user sys <"$WORK/times.txt"
        peak=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$WORK/time.txt")
        line=$(awk -v w="$wall" -v u="$user" -v s="$sys" -v p="$peak" 'BEGIN { printf "%.3f %.3f %d", w, u + s, p }')
        if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN { split(a, x, " "); split(b, y, " "); exit !(x[2] < y[2]) }'; then
            best=$line
        fi
    done
    echo "$best"
}

# Our grid against GDAL's: prints "agree", "DIFFER ..." or "not checked".
compare_cells() {
    local file=$1
    [ "$HAVE_NUMPY" = 1 ] || { echo "not checked"; return; }
    "$CLI" info --grid-out "$WORK/ours.bin" "$WORK/$file" >/dev/null
    gdal_translate -q -of ENVI -ot Int32 "$WORK/$file" "$WORK/ref.bin"
    "$PY" - "$WORK/ours.bin" "$WORK/ref.bin" "$SIZE" <<'EOF'
import sys
import numpy as np
ours_path, ref_path, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
ours = np.fromfile(ours_path, dtype='<i4')
side = int(round(ours.size ** 0.5))
if side * side != ours.size or side < n:
    print("DIFFER (grid of %d cells)" % ours.size)
    sys.exit()
# Row 0 south and column 0 east: turn to GDAL's north-west origin. A reader
# may keep an empty northern row and western column beyond the data.
ours = ours.reshape(side, side)[::-1, ::-1][side - n:, side - n:]
diff = ours - np.fromfile(ref_path, dtype='<i4').reshape(n, n)
print("agree" if diff.min() == diff.max() else "DIFFER by %d..%d" % (diff.min(), diff.max()))
EOF
    rm -f "$WORK/ours.bin" "$WORK/ref.bin" "$WORK/ref.hdr"
}

echo "Reading $SIZE x $SIZE grids in $WORK; best of $RUNS runs by CPU time (user + system)"
echo "load average before: $loadBefore"
ROW='%-14s %4s | %8s %8s | %8s %8s | %8s %8s | %6s %6s %6s %-6s %6s | %s\n'
printf "\n%-19s | %-17s | %-17s | %-17s | %-34s |\n" \
    "" "gorvale-cli info" "gdal_translate" "GDAL / gorvale" "memory (MiB)"
printf "$ROW" "format" "MB" "cpu s" "wall s" "cpu s" "wall s" "cpu" "wall" "grid" "limit" "peak" "" "GDAL's" "cells"

missed=0
for entry in "${FORMATS[@]}"; do
    IFS='|' read -r label _ file memFactor <<<"$entry"
    path="$WORK/$file"
    if ! json=$("$CLI" info --json "$path" 2>"$WORK/err.txt"); then
        echo "read_bench: gorvale-cli did not read $file: $(cat "$WORK/err.txt")" >&2
        exit 2
    fi
    rows=$(sed -n 's/.*"rows":\([0-9]*\).*/\1/p' <<<"$json")
    cols=$(sed -n 's/.*"columns":\([0-9]*\).*/\1/p' <<<"$json")

    ours=$(best_of "$CLI" info "$path") || exit 2
    gdal=$(best_of gdal_translate -q -of ENVI "$path" "$WORK/gdal.bin") || exit 2
    read -r ourWall ourCpu ourPeak <<<"$ours"
    read -r gdalWall gdalCpu gdalPeak <<<"$gdal"
    gdalPeakMiB=$(awk -v k="$gdalPeak" 'BEGIN { printf "%.1f", k / 1024 }')
    rm -f "$WORK"/gdal.*
    cells=$(compare_cells "$file")

    fileMB=$(awk -v b="$(stat -c %s "$path")" 'BEGIN { printf "%.0f", b / 1e6 }')
    read -r gridMiB limitMiB peakMiB cpuRatio wallRatio memOk speedOk <<<"$(awk \
        -v r="$rows" -v c="$cols" -v k="$ourPeak" -v oc="$ourCpu" -v ow="$ourWall" \
        -v gc="$gdalCpu" -v gw="$gdalWall" -v f="$memFactor" 'BEGIN {
        grid = r * c * 4 / 1048576; limit = f * grid + 30; peak = k / 1024
        cr = oc > 0 ? gc / oc : 99; wr = ow > 0 ? gw / ow : 99
        printf "%.1f %.1f %.1f %.2f %.2f %s %s", grid, limit, peak, cr, wr,
            (peak <= limit ? "within" : "OVER"), (oc <= gc ? "met" : "MISSED") }')"
    printf "$ROW" \
        "$label" "$fileMB" "$ourCpu" "$ourWall" "$gdalCpu" "$gdalWall" "${cpuRatio}x" "${wallRatio}x" \
        "$gridMiB" "$limitMiB" "$peakMiB" "$memOk" "$gdalPeakMiB" "$cells"
    [ "$memOk" = within ] && [ "$speedOk" = met ] || missed=1
    case $cells in agree | "not checked") ;; *) missed=1 ;; esac
done

echo
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo "GDAL / gorvale above 1: gorvale is faster. Targets: at least as fast as GDAL (CPU time);"
echo "peak within 1.5 x grid + 30 MiB (SRTM HGT through GDAL: grid + 30 MiB; grid = cells stored x 4 bytes)."
if [ "$missed" = 0 ]; then
    echo "every target met"
else
    echo "a target was MISSED"
fi
exit "$missed"
