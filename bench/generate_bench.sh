#!/usr/bin/env bash
# End-to-end benchmark: a 1201 x 1201 grid converted with 40 m objects and
# scale entry 3 (4 cells, 5 x 5 vertices), zip off and on, against a plain
# loop writing (and zipping) the same model files.
#
#   bench/generate_bench.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
cli="$build/gorvale-cli"
cmake --build "$build" --target gorvale-cli plain_write_bench >/dev/null
work="$(mktemp -d /tmp/gorvale-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT
export TEMP="$work/tmp"
mkdir -p "$TEMP"

# A synthetic 1201 x 1201 ARC/INFO ASCII grid of rolling hills.
/usr/bin/python3 - "$work/hills.asc" <<'PY'
import math, sys
n = 1201
with open(sys.argv[1], "w") as f:
    f.write(f"ncols {n}\nnrows {n}\nxllcorner 0\nyllcorner 0\ncellsize 30\nNODATA_value -9999\n")
    for r in range(n):
        f.write(" ".join(str(int(500 + 200 * math.sin(r / 37.0) * math.cos(c / 53.0) + (r * c) % 7))
                         for c in range(n)))
        f.write("\n")
PY

run() {  # run NAME ZIPIT
  local out="$work/$1"
  "$cli" project new "$work/$1.gvl" --set DEMFile="$work/hills.asc" --set FileType=7 \
      --set RWXFile="$out/rwx/z" --set PropFile="$out/prop.txt" --set ObjectSize=3 --set Scaling=3 \
      --set ZipIt="$2" >/dev/null
  local start end
  start=$(date +%s.%N)
  "$cli" generate "$work/$1.gvl" >/dev/null
  end=$(date +%s.%N)
  local models
  models=$(ls "$out/rwx" | wc -l)
  /usr/bin/python3 -c "import sys; m=$models; t=$end-$start; print(f'gorvale-cli generate, zip $2: {m} models in {t:.2f} s: {m/t:.0f} models/s')"
}

run nozip false
run zip true
"$build/plain_write_bench" "$work/nozip/rwx" "$work/plain" 
"$build/plain_write_bench" "$work/nozip/rwx" "$work/plainzip" --zip
