#!/usr/bin/env bash
# File transfer throughput: put and get of one large file through rqsim on loopback, in
# MB/s (10^6 bytes per second) for each direction. Each direction is timed as a whole shell
# run minus a run that only starts and quits, best of three; the shell's own rate report
# is shown beside it. Both copies are compared byte for byte.
#   bench/transfer.sh [MiB] [build_dir]      (defaults: 64, build/default)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
mib="${1:-64}"
build="$(realpath "${2:-$repo/build/default}")"
shell="$build/rqshell"
sim="$build/sim/rqsim"
for f in "$shell" "$sim"; do
  if [[ ! -x "$f" ]]; then
    echo "bench: $f is missing; build first: cmake --preset default && cmake --build --preset default" >&2
    exit 1
  fi
done

source "$repo/scripts/rqsim-lib.sh"
use_scratch_dir

mkdir -p "$work/root"
start_rqsim "$sim" "$work/sim.out" "$work/sim.err" --root "$work/root"
port="$rqsim_port"

head -c "$((mib * 1024 * 1024))" /dev/urandom >"$work/big.bin"
bytes="$(stat -c %s "$work/big.bin")"
printf 'put big.bin big.bin\nq\n' >"$work/put.rq"
printf 'get big.bin back.bin\nq\n' >"$work/get.rq"
printf 'q\n' >"$work/empty.rq"

# Best of three wall-clock runs in nanoseconds; the last run's console text is kept.
best_run_ns() {
  local script="$1" best="" t0 t1 took
  for _ in 1 2 3; do
    t0="$(date +%s%N)"
    (cd "$work" && "$shell" "$script" 127.0.0.1 "$port" </dev/null >"$work/out" 2>&1)
    t1="$(date +%s%N)"
    took=$((t1 - t0))
    if [[ -z "$best" || "$took" -lt "$best" ]]; then best="$took"; fi
  done
  echo "$best"
}

expect_report() {
  if ! grep -q '^Download ' "$work/out" || [[ "$(wc -l <"$work/out")" -ne 1 ]]; then
    echo "bench: the shell printed:" >&2
    head -5 "$work/out" >&2
    exit 1
  fi
}

put_ns="$(best_run_ns "$work/put.rq")"
expect_report
put_report="$(cat "$work/out")"
cmp -s "$work/big.bin" "$work/root/big.bin" || { echo "bench: the uploaded copy differs" >&2; exit 1; }
get_ns="$(best_run_ns "$work/get.rq")"
expect_report
get_report="$(cat "$work/out")"
cmp -s "$work/big.bin" "$work/back.bin" || { echo "bench: the downloaded copy differs" >&2; exit 1; }
base_ns="$(best_run_ns "$work/empty.rq")"

awk -v b="$bytes" -v p="$put_ns" -v g="$get_ns" -v z="$base_ns" -v mib="$mib" 'BEGIN {
  printf "rqshell transfer via rqsim, %d MiB on loopback (start-up and quit %.1f ms, subtracted)\n",
         mib, z / 1e6
  printf "  put: %7.1f MB/s\n", b / ((p - z) / 1e9) / 1e6
  printf "  get: %7.1f MB/s\n", b / ((g - z) / 1e9) / 1e6 }'
echo "  shell report, put: $put_report"
echo "  shell report, get: $get_report"
