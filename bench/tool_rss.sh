#!/usr/bin/env bash
# Peak resident memory of rqtool's put and get beside rqshell's, for one file through rqsim
# on loopback, and of rqtool's verify (a device file read back and compared with the local
# one). rqshell reads a file to send whole into memory; rqtool streams it with fixed
# buffers, so its peak must stay under 8 MiB at any size.
#
#   bench/tool_rss.sh [--build DIR] [MiB ...]
#     --build DIR  build directory with rqshell, rqtool and sim/rqsim
#                  (default build/default: cmake --preset default && cmake --build --preset default)
#     MiB ...      file sizes in MiB (default 256)
#
# Peak RSS comes from GNU time (Debian package `time`). Every copy is compared with the
# source byte for byte. The scratch files (four copies of each size) go under $TMPDIR or /tmp.
# Exits 1 when a copy differs, a run fails, or rqtool's peak reaches the bound.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$repo/build/default"
sizes=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build) build="${2:?--build needs a directory}"; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) sizes+=("$1"); shift ;;
  esac
done
[[ ${#sizes[@]} -gt 0 ]] || sizes=(256)
for n in "${sizes[@]}"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || {
    echo "bench: '$n' is not a positive whole number of MiB (see --help)" >&2
    exit 2
  }
done
build="$(realpath "$build")"
shell="$build/rqshell" tool="$build/rqtool" sim="$build/sim/rqsim"
for f in "$shell" "$tool" "$sim"; do
  [[ -x "$f" ]] || {
    echo "bench: $f is missing; build first: cmake --preset default && cmake --build --preset default" >&2
    exit 1
  }
done
if ! /usr/bin/time -f %M -o /dev/null true 2>/dev/null; then
  echo "bench: GNU time is needed for peak RSS (apt-get install time)" >&2
  exit 1
fi
bound_kib=$((8 * 1024))

source "$repo/scripts/rqsim-lib.sh"
use_scratch_dir
mkdir -p "$work/root" "$work/boots"
start_rqsim "$sim" "$work/sim.out" "$work/sim.err" --root "$work/root" --boot-dir "$work/boots"
port="$rqsim_port"

# Runs a command in $work under GNU time; sets rss_kib and seconds.
measure() {
  local start end
  start="$(date +%s.%N)"
  (cd "$work" && /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/run.out" 2>"$work/run.err") || {
    echo "bench: failed: $* (exit $?)" >&2
    cat "$work/run.out" "$work/run.err" >&2
    exit 1
  }
  end="$(date +%s.%N)"
  rss_kib="$(tail -n 1 "$work/rss")"
  seconds="$(echo "$end - $start" | bc -l)"
}
same() {
  cmp -s "$1" "$2" || {
    echo "bench: $2 differs from $1" >&2
    exit 1
  }
}

failed=0
printf '%-8s %-8s %-4s %14s %9s\n' "MiB" "program" "op" "peak RSS MiB" "seconds"
row() {
  printf '%-8s %-8s %-4s %14.1f %9.2f\n' "$1" "$2" "$3" "$(echo "$rss_kib / 1024" | bc -l)" \
    "$seconds"
}
for mib in "${sizes[@]}"; do
  src="$work/src-$mib"
  head -c "$((mib * 1024 * 1024))" /dev/urandom >"$src"

  printf 'put src-%s shell-%s\nq\n' "$mib" "$mib" >"$work/put.rq"
  measure "$shell" put.rq 127.0.0.1 "$port"
  same "$src" "$work/root/shell-$mib"
  row "$mib" rqshell put
  printf 'get shell-%s down-shell-%s\nq\n' "$mib" "$mib" >"$work/get.rq"
  measure "$shell" get.rq 127.0.0.1 "$port"
  same "$src" "$work/down-shell-$mib"
  row "$mib" rqshell get
  rm -f "$work/root/shell-$mib" "$work/down-shell-$mib"

  for op in put get vrfy; do
    if [[ "$op" == put ]]; then
      measure "$tool" -q -p "$port" put "src-$mib" "/tool-$mib"
      same "$src" "$work/root/tool-$mib"
    elif [[ "$op" == get ]]; then
      measure "$tool" -q -p "$port" get "/tool-$mib" "down-tool-$mib"
      same "$src" "$work/down-tool-$mib"
    else
      measure "$tool" -q -p "$port" verify "src-$mib" "/tool-$mib"
    fi
    row "$mib" rqtool "$op"
    if ((rss_kib >= bound_kib)); then
      echo "bench: rqtool $op of $mib MiB peaked at $rss_kib KiB, over the 8 MiB bound" >&2
      failed=1
    fi
  done
  rm -f "$src" "$work/root/tool-$mib" "$work/down-tool-$mib"
done
((failed == 0)) && echo "rqtool stayed under 8 MiB peak RSS"
exit "$failed"
