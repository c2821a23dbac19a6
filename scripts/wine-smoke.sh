#!/usr/bin/env bash
# Smoke test of the Windows shell under wine against the Linux simulator on loopback:
# the help text, and a script that connects, pings and quits. Console text must match
# what the Linux shell prints (Windows ends console lines with CR LF; those are
# compared as LF).
#   scripts/wine-smoke.sh [rqshell.exe] [rqsim] [linux rqshell]
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
exe="$(realpath "${1:-$repo/build/mingw64/rqshell.exe}")"
sim="$(realpath "${2:-$repo/build/ci/sim/rqsim}")"
linux_shell="$(realpath "${3:-$(dirname "$sim")/../rqshell}")"

for f in "$exe" "$sim" "$linux_shell"; do
  [[ -f "$f" ]] || { echo "wine-smoke: missing $f" >&2; exit 1; }
done

work="$(mktemp -d)"
source "$repo/scripts/rqsim-lib.sh"
source "$repo/scripts/wine-lib.sh"
cleanup() {
  stop_rqsim
  wine_stop
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "wine-smoke: FAILED: $*" >&2
  exit 1
}

wine_start "$exe" || fail "wine is not ready"

# Runs one shell (wine or linux) in $work with no console input; stdout to $1, status to $2.
run_shell() {
  local out="$1" status_file="$2"
  shift 2
  local status=0
  (cd "$work" && timeout 60 "$@" <"/dev/null" >"$out" 2>"$out.err") || status=$?
  echo "$status" >"$status_file"
}

# 1. Four arguments: the help text, exit status 255, no connection tried.
run_shell "$work/help.win" "$work/help.win.rc" "$wine" "$exe" a b c d
run_shell "$work/help.lin" "$work/help.lin.rc" "$linux_shell" a b c d
tr -d '\r' <"$work/help.win" >"$work/help.win.lf"
[[ "$(cat "$work/help.win.rc")" == 255 ]] || fail "help: exit status $(cat "$work/help.win.rc"), expected 255"
cmp -s "$work/help.win.lf" "$work/help.lin" || {
  diff "$work/help.lin" "$work/help.win.lf" || true
  fail "help text differs from the Linux build"
}
grep -q '^Usage: rqshell \[cmd_script\] \[server port\]$' "$work/help.lin" || fail "help text"
echo "wine-smoke: help text ok"

# 2. Connect, ping, quit against rqsim on an ephemeral loopback port.
mkdir -p "$work/root"
start_rqsim "$sim" "$work/sim.out" "$work/sim.err" --root "$work/root" || fail "rqsim did not start"
port="$rqsim_port"

printf 'ping\nq\n' >"$work/script.rq"
run_shell "$work/ping.lin" "$work/ping.lin.rc" "$linux_shell" script.rq 127.0.0.1 "$port"
run_shell "$work/ping.win" "$work/ping.win.rc" "$wine" "$exe" script.rq 127.0.0.1 "$port"
tr -d '\r' <"$work/ping.win" >"$work/ping.win.lf"
[[ "$(cat "$work/ping.lin.rc")" == 0 ]] || fail "linux shell: exit status $(cat "$work/ping.lin.rc")"
[[ ! -s "$work/ping.lin" ]] || fail "linux shell printed: $(cat "$work/ping.lin")"
[[ "$(cat "$work/ping.win.rc")" == 0 ]] || {
  cat "$work/ping.win" "$work/ping.win.err" >&2
  fail "windows shell: exit status $(cat "$work/ping.win.rc"), expected 0"
}
cmp -s "$work/ping.win.lf" "$work/ping.lin" || {
  diff "$work/ping.lin" "$work/ping.win.lf" || true
  fail "console text differs from the Linux build"
}
echo "wine-smoke: connect, ping, q ok (port $port)"

# 3. Control-C in the middle of a slow get, typed at a console (a tmux pane gives wine one):
#    the temporary file goes, the target keeps its content, and the shell ends with the
#    console's Control-C exit code (0xC000013A, of which the exit status keeps 0x3A = 58).
if ! command -v tmux >/dev/null; then
  echo "wine-smoke: tmux is not installed; the Control-C check is skipped"
  echo "wine-smoke: passed"
  exit 0
fi
stop_rqsim
mkdir -p "$work/slow-root" "$work/cc"
head -c 16000000 /dev/urandom >"$work/slow-root/big.bin"
echo "what the target held" >"$work/cc/keep.bin"
printf 'get big.bin keep.bin\nq\n' >"$work/cc/get.rq"
start_rqsim "$sim" "$work/sim2.out" "$work/sim2.err" --root "$work/slow-root" --stall 5 ||
  fail "rqsim did not start"
tmux_socket="rqwine-$$"
tmux_run() { tmux -L "$tmux_socket" -f /dev/null "$@"; }
trap 'tmux_run kill-server 2>/dev/null || true; cleanup' EXIT
tmux_run new-session -d -s cc -x 100 -y 20 -c "$work/cc" \
  "'$wine' '$exe' get.rq 127.0.0.1 $rqsim_port; echo \"[exit \$?]\"; sleep 60"
partial() { compgen -G "$work/cc/keep.bin.rqpart-*" >/dev/null; }
for _ in $(seq 600); do partial && break; sleep 0.1; done
partial || fail "Control-C: no partial download appeared: $(tmux_run capture-pane -p -t cc)"
tmux_run send-keys -t cc C-c
for _ in $(seq 300); do
  tmux_run capture-pane -p -t cc | grep -q '^\[exit' && break
  sleep 0.1
done
screen="$(tmux_run capture-pane -p -t cc)"
grep -q '\[exit 58\]' <<<"$screen" || fail "Control-C: the shell did not end as interrupted: $screen"
! partial || fail "Control-C left $(ls "$work/cc")"
[[ "$(cat "$work/cc/keep.bin")" == "what the target held" ]] || fail "Control-C changed the target"
echo "wine-smoke: Control-C during get removes the partial file and keeps the target"
echo "wine-smoke: passed"
