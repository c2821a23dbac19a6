#!/usr/bin/env bash
# Builds the shell and the simulator only (in build/demo/: no tests, no benchmarks, so the
# first start is quick), starts the simulator with a demo device in demo-device/ and opens
# the shell on it at the console. The simulator is stopped when the shell exits.
#   scripts/demo.sh [cmd_script]
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
if (($# > 1)); then
  echo "usage: scripts/demo.sh [cmd_script]" >&2
  exit 2
fi
script=()
# The shell runs from the repository; a script named relative to the caller stays found.
if (($# == 1)); then script=("$(realpath -- "$1")"); fi
cd "$repo"

cmake --preset demo
cmake --build --preset demo -j 2

mkdir -p demo-device
sim_out="$(mktemp)"
# rqsim's own notes (connects, launches) go to a log, not across the shell's console.
sim_log="$repo/build/demo/rqsim-demo.log"
source "$repo/scripts/rqsim-lib.sh"
cleanup() {
  stop_rqsim
  rm -f "$sim_out"
}
trap cleanup EXIT
start_rqsim build/demo/sim/rqsim "$sim_out" "$sim_log" --root "$repo/demo-device" --demo
port="$rqsim_port"

echo "demo: rqsim serves demo-device/ on 127.0.0.1:$port (log: build/demo/rqsim-demo.log)"
echo "demo: type h for help, q to quit"
status=0
build/demo/rqshell "${script[@]}" 127.0.0.1 "$port" || status=$?
exit "$status"
