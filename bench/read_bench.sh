#!/usr/bin/env bash
# Times the reading of a 3601 x 3601 USGS DEM (a 1-degree, 1-arc-second
# quadrangle) by this program and by GDAL, and reports our peak memory.
#
#   bench/read_bench.sh [BUILD_DIR]      (default: build beside this folder)
#   SIZE=1201 RUNS=5 bench/read_bench.sh
#
# The DEM is made by GDAL's USGSDEM writer from a synthetic Int16 GeoTIFF
# (python3 with numpy and GDAL's bindings), or, without them, from the DTED
# sample in ../shared/testdata resampled with gdalwarp. It lives in a temporary
# folder (on /dev/shm when there is one) and is removed afterwards.
# Our side is `gorvale-cli info FILE` when the command line has the info
# command and reads the file; otherwise the usgs_read_bench program.
# GDAL's side is `gdal_translate -of ENVI` of the same file. Each side runs
# RUNS times; the best run counts. Times are wall clock and CPU (user + system);
# on a busy machine the CPU times are the fairer comparison.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
SIZE=${SIZE:-3601}
RUNS=${RUNS:-3}
TIME=/usr/bin/time

for tool in gdal_translate "$TIME"; do
    command -v "$tool" >/dev/null || { echo "read_bench: $tool is needed" >&2; exit 2; }
done

base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
WORK=$(mktemp -d "$base/gorvale-read-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# ---- the DEM --------------------------------------------------------------
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3
if "$PY" -c 'import numpy, osgeo' 2>/dev/null; then
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
    dted="$ROOT/../shared/testdata/dted/n43.dt0"
    [ -f "$dted" ] || { echo "read_bench: need python3 with numpy and GDAL, or $dted" >&2; exit 2; }
    gdalwarp -q -ts "$SIZE" "$SIZE" -r bilinear -ot Int16 "$dted" "$WORK/source.tif"
fi
DEM="$WORK/bench.dem"
gdal_translate -q --config GDAL_PAM_ENABLED NO -of USGSDEM "$WORK/source.tif" "$DEM"
rm -f "$WORK/source.tif"

# ---- our reader -------------------------------------------------------------
READER=()
if [ -x "$BUILD/gorvale-cli" ] && "$BUILD/gorvale-cli" --help 2>/dev/null | grep -q 'info FILE' &&
    "$BUILD/gorvale-cli" info "$DEM" >/dev/null 2>&1; then
    READER=("$BUILD/gorvale-cli" info "$DEM")
else
    cmake --build "$BUILD" --target usgs_read_bench >/dev/null
    READER=("$BUILD/usgs_read_bench" "$DEM")
fi

# best of RUNS: prints "wall cpu peakKiB"
best_of() {
    local best="" line wall user sys peak
    for _ in $(seq "$RUNS"); do
        "$TIME" -f '%e %U %S %M' -o "$WORK/time.txt" "$@" >/dev/null
        read -r wall user sys peak <"$WORK/time.txt"
        line=$(awk -v w="$wall" -v u="$user" -v s="$sys" -v p="$peak" 'BEGIN { printf "%.2f %.2f %d", w, u + s, p }')
        if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN { split(a, x, " "); split(b, y, " "); exit !(x[2] < y[2]) }'; then
            best=$line
        fi
    done
    echo "$best"
}

read -r ourWall ourCpu ourPeak <<<"$(best_of "${READER[@]}")"
read -r gdalWall gdalCpu gdalPeak <<<"$(best_of gdal_translate -q -of ENVI "$DEM" "$WORK/gdal.bin")"

# The grid is stored square: (LastRow + 1)^2 32-bit cells, LastRow = SIZE.
gridMiB=$(awk -v n="$SIZE" 'BEGIN { printf "%.1f", (n + 1) * (n + 1) * 4 / 1048576 }')
limitMiB=$(awk -v g="$gridMiB" 'BEGIN { printf "%.1f", 1.5 * g + 30 }')
ourPeakMiB=$(awk -v k="$ourPeak" 'BEGIN { printf "%.1f", k / 1024 }')
gdalPeakMiB=$(awk -v k="$gdalPeak" 'BEGIN { printf "%.1f", k / 1024 }')

echo "USGS DEM $SIZE x $SIZE, $(du -m "$DEM" | cut -f1) MB; best of $RUNS runs"
echo "  gorvale ($(basename "${READER[0]}")): wall ${ourWall} s, cpu ${ourCpu} s, peak ${ourPeakMiB} MiB"
echo "  GDAL (gdal_translate -of ENVI):        wall ${gdalWall} s, cpu ${gdalCpu} s, peak ${gdalPeakMiB} MiB"
awk -v gw="$gdalWall" -v ow="$ourWall" -v gc="$gdalCpu" -v oc="$ourCpu" 'BEGIN {
    printf "  GDAL / gorvale: wall %.2fx, cpu %.2fx (above 1: gorvale is faster)\n",
        (ow > 0 ? gw / ow : 0), (oc > 0 ? gc / oc : 0) }'
echo "  memory: grid ${gridMiB} MiB, limit 1.5 x grid + 30 = ${limitMiB} MiB, peak ${ourPeakMiB} MiB" \
    "($(awk -v p="$ourPeakMiB" -v l="$limitMiB" 'BEGIN { print (p <= l ? "within" : "OVER") }'))"
