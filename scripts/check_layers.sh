#!/usr/bin/env bash
# Fails when the source folders include each other in a circle, naming the
# folders of the circle, or when base/ includes anything else of the project.
# The graph is built from the `#include "dir/..."` lines: an edge runs from a
# file's folder to the folder of each header it names.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

edges=$(find . \( -path ./build -o -path './build-*' -o -path ./.git \) -prune -o \
            -type f \( -name '*.h' -o -name '*.cpp' \) -print0 |
        xargs -0 -r awk '
            match($0, /^[ \t]*#[ \t]*include[ \t]*"[^"]*\/[^"]*"/) {
                header = $0
                sub(/^[^"]*"/, "", header); sub(/".*/, "", header)
                from = FILENAME; sub(/^\.\//, "", from); sub(/\/[^\/]*$/, "", from)
                to = header; sub(/\/[^\/]*$/, "", to)
                if (from != to) print from, to
            }' | sort -u |
        while read -r from to; do [ -d "$to" ] && echo "$from $to"; done || true)

status=0
if outside=$(grep '^base ' <<<"$edges"); then
    echo "base/ must include nothing else of the project, but includes:" >&2
    sed 's/^base /  /' <<<"$outside" >&2
    status=1
fi
# tsort fails on a circle and names its folders on stderr, one per line.
if ! loop=$(tsort <<<"$edges" 2>&1 >/dev/null); then
    echo "folders include each other in a circle:" >&2
    awk 'function flush() { if (n) { line = ""; for (i = 1; i <= n; i++) line = line members[i] " -> "
                                     print "  " line members[1] }; n = 0 }
         /input contains a loop/ { flush(); next }
         { sub(/^tsort: /, ""); members[++n] = $0 }
         END { flush() }' <<<"$loop" >&2
    status=1
fi
[ $status -eq 0 ] && echo "include layers: no circles"
exit $status
