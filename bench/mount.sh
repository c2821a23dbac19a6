#!/usr/bin/env bash
# rqmount beside rqtool in one run: reading a file through a cold mount (`cat > /dev/null`)
# against `rqtool get`, writing one through the mount (`cp` in, which ends with the upload
# at close) against `rqtool put`, and the device round trips of `ls -l` on a directory of
# 1000 files, cold and again within the cache time-out.
#
#   bench/mount.sh [--reps N] [--build DIR] [MiB]
#     --reps N     timed rounds (default 3); the order of mount and rqtool alternates
#     --build DIR  build directory with rqmount, rqtool and sim/rqsim (default build/default)
#     MiB          the file's size (default 256)
#
# "Cold": a fresh mount for every round, so nothing of the file is cached; rqsim's host
# file is in the page cache for both programs alike. Every copy is compared with the
# source. Prints the median time and throughput (MB/s, 10^6 bytes per second) of each with
# the spread, and the ratio mount/rqtool in throughput. The round trips are the command
# messages rqmount's trace shows while `ls -l` runs (the warm run waits 1.5 s first, so the
# kernel's own 1 s attribute cache has expired and only the mount's cache answers).
# Needs /dev/fuse and fusermount3; run as a user who may mount (root, or with fuse access).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
reps=3
build="$repo/build/default"
mib=256
while [[ $# -gt 0 ]]; do
  case "$1" in
    --reps) reps="${2:?--reps needs a number}"; shift 2 ;;
    --build) build="${2:?--build needs a directory}"; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) mib="$1"; shift ;;
  esac
done
for n in "$reps" "$mib"; do
  if ! [[ "$n" =~ ^[1-9][0-9]*$ ]]; then
    echo "bench: '$n' is not a positive whole number (see bench/mount.sh --help)" >&2
    exit 2
  fi
done
build="$(realpath "$build")"
mount_bin="$build/rqmount"
tool="$build/rqtool"
sim="$build/sim/rqsim"
for f in "$mount_bin" "$tool" "$sim"; do
  [[ -x "$f" ]] || { echo "bench: $f is missing; build first" >&2; exit 1; }
done
command -v fusermount3 >/dev/null || { echo "bench: fusermount3 is missing" >&2; exit 1; }

source "$repo/scripts/rqsim-lib.sh"
use_scratch_dir
trap 'fusermount3 -u -z "$work/mnt" 2>/dev/null || true; stop_rqsim; rm -rf "$work"' EXIT
cd "$work"
mkdir -p root/many mnt cache
start_rqsim "$sim" sim.out sim.err --root "$work/root"
port="$rqsim_port"
head -c "$((mib * 1024 * 1024))" /dev/urandom >big.bin
cp big.bin root/src.bin
bytes="$(stat -c %s big.bin)"
for i in $(seq 1000); do : >"root/many/file-$i.txt"; done

mount_pid=""
do_mount() {
  "$mount_bin" -f -p "$port" -o "cache_dir=$work/cache,log=$work/mount.log" "$@" mnt &
  mount_pid=$!
  for _ in $(seq 200); do
    grep -q " $work/mnt " /proc/self/mountinfo && return 0
    sleep 0.05
  done
  echo "bench: the mount did not stand: $(tail -3 mount.log)" >&2
  exit 1
}
do_unmount() {
  fusermount3 -u mnt
  wait "$mount_pid" || { echo "bench: rqmount exited with $?: $(tail -3 mount.log)" >&2; exit 1; }
}

# timed NAME COMMAND...: the wall time in ns appended to NAME.ns.
timed() {
  local name="$1" t0 t1
  shift
  sync
  t0="$(date +%s%N)"
  "$@" || { echo "bench: $name failed" >&2; exit 1; }
  t1="$(date +%s%N)"
  echo $((t1 - t0)) >>"$name.ns"
}
same() { cmp -s big.bin "$1" || { echo "bench: $1 differs from the source" >&2; exit 1; }; }

mount_round() {
  do_mount
  timed mount-read sh -c 'cat mnt/src.bin >/dev/null'
  rm -f root/cp.bin
  timed mount-write cp big.bin mnt/cp.bin
  do_unmount
  same root/cp.bin
}
tool_round() {
  rm -f back.bin
  timed tool-get "$tool" -q -p "$port" get /src.bin back.bin
  same back.bin
  timed tool-put "$tool" -q -p "$port" put big.bin /put.bin
  same root/put.bin
}

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
least() { sort -n "$1" | head -n 1; }
most() { sort -n "$1" | tail -n 1; }
line() {
  awk -v what="$1" -v b="$bytes" -v tm="$(median "$2.ns")" -v tl="$(least "$2.ns")" -v th="$(most "$2.ns")" \
      -v mm="$(median "$3.ns")" -v ml="$(least "$3.ns")" -v mh="$(most "$3.ns")" 'BEGIN {
    printf "  %-6s rqtool %6.3f s (%.3f-%.3f) %6.0f MB/s   mount %6.3f s (%.3f-%.3f) %6.0f MB/s   ratio %.2f\n",
           what, tm / 1e9, tl / 1e9, th / 1e9, b / tm * 1e3, mm / 1e9, ml / 1e9, mh / 1e9, b / mm * 1e3, tm / mm }'
}

echo "rqmount beside rqtool through rqsim on loopback: $mib MiB, $reps rounds, medians (min-max)"
for ((round = 1; round <= reps; round++)); do
  if ((round % 2)); then mount_round; tool_round; else tool_round; mount_round; fi
done
line read tool-get mount-read
line write tool-put mount-write

# Round trips of ls -l: the command messages in the trace.
do_mount "--trace=$work/trace"
commands() { grep -c -- '-> command' trace || true; }
before="$(commands)"
ls -l mnt/many >/dev/null
cold=$(($(commands) - before))
sleep 1.5
before="$(commands)"
ls -l mnt/many >/dev/null
warm=$(($(commands) - before))
do_unmount
echo "  ls -l of 1000 files: $cold device round trips cold, $warm within the cache time-out"
