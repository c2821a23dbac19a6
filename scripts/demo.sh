#!/usr/bin/env bash
# Installs what the programs need where it can (scripts/deps.sh), builds every program (in
# build/demo/: no tests, no benchmarks, so the first start is quick), starts the simulator
# with a demo device in demo-device/ and opens the shell on it at the console, saying where
# rqtool is, to try it on the same device from another terminal. The simulator is stopped
# when the shell exits.
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

scripts/deps.sh build tool editor mount
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
source "$repo/scripts/deps.sh"
if [[ -x build/demo/rqtool ]]; then
  # rqsim serves one client at a time, and this one goes with the shell.
  echo "demo: rqtool is build/demo/rqtool; to try it on the same device after q, run"
  echo "        build/demo/sim/rqsim --demo &  build/demo/rqtool -w 5 ls -l /"
else
  echo "demo: rqtool was not built (it needs $(deps_packages tool))"
fi
if [[ -x build/demo/rqmount ]]; then
  echo "demo: rqmount is build/demo/rqmount"
elif [[ -d src/mount ]]; then
  echo "demo: rqmount was not built (it needs $(deps_packages mount))"
fi
echo "demo: type h for help, q to quit"
status=0
build/demo/rqshell "${script[@]}" 127.0.0.1 "$port" || status=$?
exit "$status"
