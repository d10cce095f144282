#!/usr/bin/env bash
# End-to-end benchmark: a 1201 x 1201 grid converted with 40 m objects and
# scale entry 3 (4 cells, 5 x 5 vertices), zip off and on, against a plain
# loop writing (and zipping) the same model files.
#
#   bench/generate_bench.sh [BUILD_DIR]
#   RUNS=5 DIR=/some/disk bench/generate_bench.sh
#
# Creating 90,000 files is dominated by the file system, whose state (dirty
# pages, the journal, the previous run's deletions) swings a single timing by
# a factor of several. So each round runs the conversion and the plain loop
# back to back, each into a fresh folder after a sync, and the best of RUNS
# rounds of each side is compared.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
runs="${RUNS:-3}"
cli="$build/gorvale-cli"
cmake --build "$build" --target gorvale-cli plain_write_bench >/dev/null
work="$(mktemp -d "${DIR:-/tmp}/gorvale-bench.XXXXXX")"
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

for zip in false true; do
  "$cli" project new "$work/zip-$zip.gvl" --set DEMFile="$work/hills.asc" --set FileType=7 \
      --set RWXFile="$work/out/rwx/z" --set PropFile="$work/out/prop.txt" --set ObjectSize=3 \
      --set Scaling=3 --set ZipIt="$zip" >/dev/null
done

fresh() {  # empties the output folders and lets the disk settle
  rm -rf "$work/out" "$work/plain"
  sync
}

generate() {  # generate ZIPIT: prints "wall user+sys"
  fresh
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$cli" generate "$work/zip-$1.gvl" >/dev/null
  read -r wall user sys <"$work/time"
  awk -v w="$wall" -v u="$user" -v s="$sys" 'BEGIN { printf "%s %.2f\n", w, u + s }'
}

plain() {  # plain [--zip]: prints the loop's own wall seconds
  fresh
  "$build/plain_write_bench" "$work/source" "$work/plain" "$@" | sed -E 's/.* in ([0-9.]+) s.*/\1/'
}

best() { sort -g | head -1; }

# The plain loop writes the very files a conversion wrote.
fresh
"$cli" generate "$work/zip-false.gvl" >/dev/null
mv "$work/out/rwx" "$work/source"
models=$(ls "$work/source" | wc -l)

echo "$models models, best of $runs alternating rounds, load average: $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
for zip in false true; do
  gen=() loop=()
  for ((i = 0; i < runs; i++)); do
    gen+=("$(generate "$zip")")
    if [ "$zip" = true ]; then loop+=("$(plain --zip)"); else loop+=("$(plain)"); fi
  done
  g=$(printf '%s\n' "${gen[@]}" | cut -d' ' -f1 | best)
  cpu=$(printf '%s\n' "${gen[@]}" | cut -d' ' -f2 | best)
  p=$(printf '%s\n' "${loop[@]}" | best)
  target=1.5; [ "$zip" = true ] && target=2
  /usr/bin/python3 - "$zip" "$models" "$g" "$cpu" "$p" "$target" "$(printf '%s\n' "${gen[@]}" | cut -d' ' -f1 | xargs)" "${loop[*]}" <<'PY' || status=1
import sys
zip, m, g, cpu, p, target = sys.argv[1], int(sys.argv[2]), *map(float, sys.argv[3:7])
label = "write+zip" if zip == "true" else "write"
print(f"zip {zip}:")
print(f"  gorvale-cli generate: {g:6.2f} s  {m / g:7.0f} models/s  (processor {cpu:.2f} s)   rounds: {sys.argv[7]}")
print(f"  plain {label:<14} {p:6.2f} s  {m / p:7.0f} files/s                        rounds: {sys.argv[8]}")
ratio = g / p
print(f"  generate / plain: {ratio:.2f}x (target {target:g}x: {'met' if ratio <= target else 'NOT met'})")
sys.exit(0 if ratio <= target else 1)
PY
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
