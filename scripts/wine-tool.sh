#!/usr/bin/env bash
# The Windows rqtool under wine against the Linux simulator on loopback: it connects and
# pings, a file goes up and comes back byte for byte (once under a name with non-ASCII
# letters, which must reach the program intact), and a device refusal ends with status 1.
#   scripts/wine-tool.sh [rqtool.exe] [rqsim]
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
exe="$(realpath "${1:-$repo/build/mingw64/rqtool.exe}")"
sim="$(realpath "${2:-$repo/build/ci/sim/rqsim}")"

for f in "$exe" "$sim"; do
  [[ -f "$f" ]] || { echo "wine-tool: missing $f" >&2; exit 1; }
done

# A UTF-8 locale so that wine hands non-ASCII arguments and file names over as the
# letters they are.
export LC_ALL=C.UTF-8

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
  echo "wine-tool: FAILED: $*" >&2
  exit 1
}

wine_start "$exe" || fail "wine is not ready"

mkdir -p "$work/root" "$work/boots"
start_rqsim "$sim" "$work/sim.out" "$work/sim.err" --root "$work/root" --boot-dir "$work/boots" ||
  fail "rqsim did not start"

# Runs rqtool.exe in $work with no console input: standard output (CR LF as LF) in
# $work/out, standard error in $work/err, the exit status in $status.
status=0
tool() {
  status=0
  (cd "$work" && timeout 60 "$wine" "$exe" -t 20 -p "$rqsim_port" "$@" </dev/null >out.crlf 2>err) ||
    status=$?
  tr -d '\r' <"$work/out.crlf" >"$work/out"
}
expect_status() {
  [[ "$status" == "$1" ]] || {
    cat "$work/out" "$work/err" >&2
    fail "$2: exit status $status, expected $1"
  }
}

# 1. Connect and ping.
tool ping
expect_status 0 "ping"
grep -Eq '^1 pings: min/avg/max [0-9.]+/[0-9.]+/[0-9.]+ ms$' "$work/out" ||
  fail "ping printed: $(cat "$work/out")"
echo "wine-tool: connect and ping ok (port $rqsim_port)"

# 2. A round trip, larger than a chunk and not a multiple of one, under two local names.
head -c 300007 /dev/urandom >"$work/up.bin"
for name in plain.bin "grüße-übung.bin"; do
  cp "$work/up.bin" "$work/$name"
  tool put "$name" /sent.bin
  expect_status 0 "put $name"
  cmp -s "$work/up.bin" "$work/root/sent.bin" || fail "put $name: the device's copy differs"
  rm -f "$work/back-$name"
  tool get /sent.bin "back-$name"
  expect_status 0 "get into back-$name"
  cmp -s "$work/up.bin" "$work/back-$name" || fail "get back-$name: the local copy differs"
  rm "$work/root/sent.bin"
done
# Nothing but the downloads themselves may have appeared (no temporary file left over).
expected="$(printf '%s\n' back-grüße-übung.bin back-plain.bin boots err grüße-übung.bin out \
  out.crlf plain.bin root sim.err sim.out up.bin | LC_ALL=C sort)"
found="$(ls -A "$work" | LC_ALL=C sort)"
[[ "$found" == "$expected" ]] || fail "unexpected files in the work directory: $(comm -13 \
  <(echo "$expected") <(echo "$found") | tr '\n' ' ')"
echo "wine-tool: put/get round trip byte for byte ok (ASCII and non-ASCII local names)"

# 3. A tree both ways: nested directories, an empty file, names with blanks and non-ASCII
# letters, compared byte for byte; then a device name Windows cannot hold, refused before
# anything is written.
mkdir -p "$work/tree/sub dir/deeper" "$work/tree/leer"
: >"$work/tree/empty"
head -c 70001 /dev/urandom >"$work/tree/sub dir/a b.bin"
head -c 1234 /dev/urandom >"$work/tree/sub dir/deeper/übung.txt"
tool put -r tree /
expect_status 0 "put -r tree /"
diff -r "$work/tree" "$work/root/tree" >/dev/null || fail "put -r: the device's tree differs"
grep -q 'put: 3 files, 4 directories, 71235 bytes in' "$work/err" || fail "put -r: $(cat "$work/err")"
tool get -r /tree back/
expect_status 0 "get -r /tree back/"
diff -r "$work/tree" "$work/back/tree" >/dev/null || fail "get -r: the local tree differs"
printf x >"$work/root/tree/aux.txt"
tool get -r /tree refused
expect_status 4 "get -r of a tree holding aux.txt"
[[ ! -e "$work/refused" ]] || fail "get -r wrote something before refusing aux.txt"
rm -rf "$work/root/tree" "$work/back" "$work/tree"
echo "wine-tool: put -r/get -r tree round trip byte for byte ok; a reserved name refused"

# 4. An exit status: removing what is not there is a refusal by the device.
tool rm /no-such-file
expect_status 1 "rm of a missing file"
grep -q 'file does not exist (status 9)' "$work/err" || fail "rm: stderr: $(cat "$work/err")"
echo "wine-tool: a device refusal exits with 1"
echo "wine-tool: passed"
