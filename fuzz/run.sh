#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 30) on a copy
# of its seed corpus. A crash leaves its input in build/fuzz/findings/ and fails the run.
set -euo pipefail
seconds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
findings=$root/build/fuzz/findings
mkdir -p "$findings"
status=0
for target in build/fuzz/fuzz/*_fuzz; do
  name=$(basename "$target" _fuzz)
  work=$root/build/fuzz/corpus/$name
  mkdir -p "$work"
  if [ -d "fuzz/corpus/$name" ]; then cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true; fi
  echo "== fuzzing $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
      -artifact_prefix="$findings/$name-" -print_final_stats=1 "$work" 2>"$root/build/fuzz/$name.log"; then
    echo "!! $name found a problem; see $root/build/fuzz/$name.log and $findings/"
    tail -40 "$root/build/fuzz/$name.log"
    status=1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$root/build/fuzz/$name.log" || true
done
exit $status
