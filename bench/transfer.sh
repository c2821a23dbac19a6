#!/usr/bin/env bash
# Transfer throughput beside its floor: put and get of one file through rqsim on loopback,
# timed as whole rqshell runs, interleaved in the same run with whole runs of
# bench_transfer_anchor, which does the same file and socket work with no protocol logic.
#
#   bench/transfer.sh [--reps N] [--build DIR] [MiB ...]
#     --reps N     timed repetitions per size and direction (default 5)
#     --build DIR  build directory with rqshell, sim/rqsim, bench/bench_transfer_anchor
#                  (default build/default: cmake --preset default && cmake --build --preset default)
#     MiB ...      file sizes in MiB (default 64 256)
#
# For each size: one untimed run of each program first (so every timed run replaces an
# existing target and reads a cached source, as repeated transfers do), then N rounds of
# put and get by both programs, the order alternating between rounds. `sync` runs before
# every timed run so no run pays for the write-back of the one before. Every copy is
# compared with the source byte for byte. Prints per direction the median time and
# throughput (MB/s, 10^6 bytes per second) of each program with the spread (min-max), and
# the ratio rqshell/anchor in throughput (median anchor time over median rqshell time;
# the spread is that of the ratio within each round). Peak RSS (the largest over the
# rounds) comes from GNU time (Debian package `time`); without it RSS is not reported.
# The start-up line is a run of each that moves no data (rqshell: connect, the start-up
# probe with its 20 ms wait, quit; anchor: an empty file), part of every whole run; the
# ratio "without start-up" takes each program's start-up median off its own median time.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
reps=5
build="$repo/build/default"
sizes=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --reps) reps="${2:?--reps needs a number}"; shift 2 ;;
    --build) build="${2:?--build needs a directory}"; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[[ ${#sizes[@]} -gt 0 ]] || sizes=(64 256)
for n in "$reps" "${sizes[@]}"; do
  if ! [[ "$n" =~ ^[1-9][0-9]*$ ]]; then
    echo "bench: '$n' is not a positive whole number (see bench/transfer.sh --help)" >&2
    exit 2
  fi
done
build="$(realpath "$build")"
shell="$build/rqshell"
sim="$build/sim/rqsim"
anchor="$build/bench/bench_transfer_anchor"
for f in "$shell" "$sim" "$anchor"; do
  if [[ ! -x "$f" ]]; then
    echo "bench: $f is missing; build first: cmake --preset default && cmake --build --preset default" >&2
    exit 1
  fi
done
gnu_time=""
if [[ -x /usr/bin/time ]] && /usr/bin/time -f %M -o /dev/null true 2>/dev/null; then
  gnu_time=/usr/bin/time
else
  echo "bench: GNU time not found (apt-get install time); peak RSS is not reported" >&2
fi

source "$repo/scripts/rqsim-lib.sh"
use_scratch_dir
cd "$work"
mkdir -p root anchor
# start_rqsim reads sim.out at once; it must exist before rqsim's redirect has made it.
: >sim.out
start_rqsim "$sim" sim.out sim.err --root "$work/root"
port="$rqsim_port"
printf 'put big.bin big.bin\nq\n' >put.rq
printf 'get src.bin back.bin\nq\n' >get.rq
printf 'q\n' >empty.rq
: >empty.bin

# run NAME COMMAND...: one whole run, its wall time in ns appended to NAME.ns and its peak
# RSS in KiB to NAME.rss. Both programs go through the same wrapper, so it costs both alike.
run() {
  local name="$1" t0 t1
  shift
  sync
  t0="$(date +%s%N)"
  if [[ -n "$gnu_time" ]]; then
    "$gnu_time" -f %M -o rss.last "$@" </dev/null >out 2>&1 || { fail_run "$name"; }
  else
    "$@" </dev/null >out 2>&1 || { fail_run "$name"; }
  fi
  t1="$(date +%s%N)"
  echo $((t1 - t0)) >>"$name.ns"
  if [[ -n "$gnu_time" ]]; then tail -n 1 rss.last >>"$name.rss"; fi
}

fail_run() {
  echo "bench: the $1 run failed; it printed:" >&2
  head -5 out >&2
  exit 1
}

# rqshell must print its rate report and nothing else.
expect_report() {
  if ! grep -q '^Download ' out || [[ "$(wc -l <out)" -ne 1 ]]; then fail_run "$1"; fi
}

expect_copy() {
  cmp -s big.bin "$2" || { echo "bench: the $1 copy $2 differs from the source" >&2; exit 1; }
}

shell_put() { run "$1" "$shell" put.rq 127.0.0.1 "$port"; expect_report "$1"; expect_copy "$1" root/big.bin; }
shell_get() { run "$1" "$shell" get.rq 127.0.0.1 "$port"; expect_report "$1"; expect_copy "$1" back.bin; }
anchor_put() { run "$1" "$anchor" put big.bin anchor/big.bin; expect_copy "$1" anchor/big.bin; }
anchor_get() { run "$1" "$anchor" get root/src.bin anchor-back.bin; expect_copy "$1" anchor-back.bin; }

# median FILE, min FILE, max FILE over one number a line.
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
least() { sort -n "$1" | head -n 1; }
most() { sort -n "$1" | tail -n 1; }

# report DIRECTION BYTES: the figures of one direction from its .ns files.
report() {
  local dir="$1" bytes="$2"
  paste "anchor-$dir.ns" "shell-$dir.ns" | awk '{ print $1 / $2 }' >"ratio-$dir"
  awk -v d="$dir" -v b="$bytes" \
      -v am="$(median "anchor-$dir.ns")" -v al="$(least "anchor-$dir.ns")" -v ah="$(most "anchor-$dir.ns")" \
      -v sm="$(median "shell-$dir.ns")" -v sl="$(least "shell-$dir.ns")" -v sh="$(most "shell-$dir.ns")" \
      -v rl="$(least "ratio-$dir")" -v rh="$(most "ratio-$dir")" \
      -v az="$(median anchor-start.ns)" -v sz="$(median shell-start.ns)" 'BEGIN {
    printf "  %s  anchor  %6.3f s (%.3f-%.3f) %6.0f MB/s   rqshell %6.3f s (%.3f-%.3f) %6.0f MB/s   ratio %.2f (%.2f-%.2f); %.2f without start-up\n",
           d, am / 1e9, al / 1e9, ah / 1e9, b / am * 1e3, sm / 1e9, sl / 1e9, sh / 1e9, b / sm * 1e3,
           am / sm, rl, rh, (am - az) / (sm - sz) }'
}

rss_mib() { if [[ -s "$1" ]]; then awk -v k="$(most "$1")" 'BEGIN { printf "%.1f MiB", k / 1024 }'; else echo "n/a"; fi; }

echo "transfer through rqsim on loopback beside bench_transfer_anchor: whole process runs," \
     "$reps rounds, medians (min-max)"
for mib in "${sizes[@]}"; do
  rm -f ./*.ns ./*.rss
  head -c "$((mib * 1024 * 1024))" /dev/urandom >big.bin
  cp big.bin root/src.bin
  bytes="$(stat -c %s big.bin)"
  shell_put warm; anchor_put warm; shell_get warm; anchor_get warm
  for ((round = 1; round <= reps; round++)); do
    if ((round % 2)); then
      anchor_put anchor-put; shell_put shell-put; anchor_get anchor-get; shell_get shell-get
    else
      shell_put shell-put; anchor_put anchor-put; shell_get shell-get; anchor_get anchor-get
    fi
  done
  for ((round = 1; round <= reps; round++)); do
    run shell-start "$shell" empty.rq 127.0.0.1 "$port"
    [[ ! -s out ]] || fail_run shell-start
    run anchor-start "$anchor" get empty.bin anchor-empty.bin
  done
  echo "$mib MiB ($bytes bytes):"
  report get "$bytes"
  report put "$bytes"
  echo "  peak RSS: rqshell get $(rss_mib shell-get.rss), put $(rss_mib shell-put.rss);" \
       "anchor get $(rss_mib anchor-get.rss), put $(rss_mib anchor-put.rss)"
  awk -v s="$(median shell-start.ns)" -v a="$(median anchor-start.ns)" 'BEGIN {
    printf "  start-up (no data, medians): rqshell %.1f ms, anchor %.1f ms\n", s / 1e6, a / 1e6 }'
done
