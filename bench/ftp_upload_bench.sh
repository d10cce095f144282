#!/usr/bin/env bash
# FTP upload benchmark: the 900 archives of the shipped example
# (examples/n43.gvl, ZipIt on) uploaded to a loopback pyftpdlib server.
#
#   bench/ftp_upload_bench.sh [BUILD_DIR]
#   ROUNDS=5 bench/ftp_upload_bench.sh
#
# 1. The uploads alone: ftp_upload_bench sends the 900 archives through one
#    FTP session (active, then passive data connections), best of ROUNDS.
# 2. The whole run: gorvale-cli generate of the example with and without
#    FtpToHost, best of ROUNDS each; the difference is the upload's share.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
rounds="${ROUNDS:-3}"
cli="$build/gorvale-cli"
cmake --build "$build" --target gorvale-cli ftp_upload_bench >/dev/null
work="$(mktemp -d "${DIR:-/tmp}/gorvale-ftp-bench.XXXXXX")"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export TEMP="$work/tmp"
mkdir -p "$TEMP" "$work/root/aw/models"

/usr/bin/python3 "$root/tests/delivery/ftp_test_server.py" --root "$work/root" --lifetime 3600 \
  >"$work/port" 2>"$work/server.err" &
server_pid=$!
for _ in $(seq 100); do grep -q '^PORT ' "$work/port" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/^PORT /{print $2}' "$work/port")
[ -n "$port" ] || { cat "$work/server.err"; echo "the FTP server did not start"; exit 1; }

example=(--set DEMFile="$root/examples/n43.dem" --set RWXFile="$work/out/rwx/z"
         --set PropFile="$work/out/prop.txt" --set LogFile="$work/out/history.log" --set ZipIt=true)
ftp=(--set FtpToHost=true --set FtpHostURL=127.0.0.1 --set FtpHostPort="$port" --set FtpUserID=builder
     --set FtpPassword=secret --set FtpDirectory=aw/models)

mkdir -p "$work/out/rwx"
"$cli" generate "$root/examples/n43.gvl" "${example[@]}" >/dev/null
archives=$(ls "$work/out/rwx" | wc -l)
cp -r "$work/out/rwx" "$work/archives"
echo "$archives archives of examples/n43.gvl, $(du -sh "$work/archives" | cut -f1), to 127.0.0.1:$port;" \
     "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "uploads alone (one session, best of $rounds):"
"$build/ftp_upload_bench" "$work/archives" "$port" active "$rounds"
"$build/ftp_upload_bench" "$work/archives" "$port" passive "$rounds"

run() {  # run [ftp settings...]: prints wall seconds of one generate
  rm -rf "$work/out" "$work/root/aw/models"/*
  mkdir -p "$work/out/rwx"
  /usr/bin/time -f "%e" -o "$work/time" "$cli" generate "$root/examples/n43.gvl" "${example[@]}" "$@" \
    >"$work/run.out" 2>"$work/run.err" || { cat "$work/run.out" "$work/run.err"; exit 1; }
  cat "$work/time"
}
best() { sort -g | head -1; }
plain=() uploading=()
for ((i = 0; i < rounds; i++)); do
  plain+=("$(run)")
  uploading+=("$(run "${ftp[@]}")")
  grep -q "^FTP: $archives archives uploaded, 0 retried, 0 failed" "$work/run.out" ||
    { cat "$work/run.out"; echo "not every archive was uploaded"; exit 1; }
done
p=$(printf '%s\n' "${plain[@]}" | best)
u=$(printf '%s\n' "${uploading[@]}" | best)
/usr/bin/python3 - "$archives" "$p" "$u" "${plain[*]}" "${uploading[*]}" <<'PY'
import sys
n, p, u = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
print("whole run, gorvale-cli generate examples/n43.gvl (best of rounds):")
print(f"  without FTP: {p:6.2f} s  {n / p:6.0f} archives/s   rounds: {sys.argv[4]}")
print(f"  with FTP:    {u:6.2f} s  {n / u:6.0f} archives/s   rounds: {sys.argv[5]}")
if u > p:
    print(f"  upload share: {u - p:.2f} s, {n / (u - p):.0f} archives/s")
PY
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
