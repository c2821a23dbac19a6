#!/usr/bin/env bash
# Ping throughput: N pings from a script through rqsim on loopback, in microseconds per
# ping, beside the round trip of a bare ping-pong of 12-byte frames (a ping's size) measured
# in the same run.
#   bench/ping.sh [pings] [build_dir]      (defaults: 20000, build/default)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
pings="${1:-20000}"
build="$(realpath "${2:-$repo/build/default}")"
shell="$build/rqshell"
sim="$build/sim/rqsim"
pingpong="$build/bench/bench_pingpong"
for f in "$shell" "$sim" "$pingpong"; do
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

# The same start-up (connect, probe, first ping) happens with and without the pings, so the
# difference between the two runs is the cost of the pings alone.
yes ping | head -n "$pings" >"$work/pings.rq" || true
echo q >>"$work/pings.rq"
echo q >"$work/empty.rq"

# Best of three wall-clock runs, in nanoseconds; the shell must print nothing (all in sync).
best_run_ns() {
  local script="$1" best="" t0 t1 took
  for _ in 1 2 3; do
    t0="$(date +%s%N)"
    "$shell" "$script" 127.0.0.1 "$port" </dev/null >"$work/out" 2>&1
    t1="$(date +%s%N)"
    if [[ -s "$work/out" ]]; then
      echo "bench: the shell printed:" >&2
      head -5 "$work/out" >&2
      exit 1
    fi
    took=$((t1 - t0))
    if [[ -z "$best" || "$took" -lt "$best" ]]; then best="$took"; fi
  done
  echo "$best"
}

with_pings="$(best_run_ns "$work/pings.rq")"
without="$(best_run_ns "$work/empty.rq")"
awk -v n="$pings" -v a="$with_pings" -v b="$without" 'BEGIN {
  printf "rqshell ping via rqsim: %d pings, %.2f us per ping (start-up and quit %.1f ms, subtracted)\n",
         n, (a - b) / n / 1000.0, b / 1e6 }'
"$pingpong" "$pings"
