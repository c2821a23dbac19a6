#!/usr/bin/env bash
# The line editor must not change what scripts and pipes see. Builds a second rqshell with
# the plain line reader only (RQ_LINE_EDITOR=OFF, just the rqshell target), runs the same
# session through both shells against rqsim (commands from a script with diag answers on
# standard input, then the same commands typed on standard input), and compares standard
# output and standard error byte for byte. Only the timing figures of the rate report
# ("Download N KB <sec> sec <rate> KB/s") are masked; the size stays compared. The files the
# sessions leave behind are compared too.
#   scripts/plain-reader-check.sh [editor build dir] [plain build dir]
#                                 (defaults: build/ci, build/ci-plain-reader)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
editor_build="$(realpath "${1:-$repo/build/ci}")"
plain_build="$(realpath -m "${2:-$repo/build/ci-plain-reader}")"
sim="$editor_build/sim/rqsim"

fail() {
  echo "plain-reader-check: FAILED: $*" >&2
  exit 1
}

[[ -x "$editor_build/rqshell" && -x "$sim" ]] || fail "build $editor_build first (scripts/test.sh)"
# Without libedit in the first shell both would be plain readers and prove nothing.
links_libedit() { [[ "$(ldd "$1")" == *libedit* ]]; }
if ! links_libedit "$editor_build/rqshell"; then
  fail "$editor_build/rqshell is not linked with libedit (install libedit-dev and reconfigure)"
fi

cmake -S "$repo" -B "$plain_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRQ_WERROR=ON \
  -DRQ_LINE_EDITOR=OFF -DRQ_BUILD_TESTS=OFF -DRQ_BUILD_SIM=OFF -DRQ_BUILD_BENCH=OFF >/dev/null
cmake --build "$plain_build" --target rqshell -j 2 >/dev/null
if links_libedit "$plain_build/rqshell"; then
  fail "$plain_build/rqshell links libedit although RQ_LINE_EDITOR=OFF"
fi

source "$repo/scripts/rqsim-lib.sh"
use_scratch_dir

# A session that touches every kind of console text: listings, texts, transfers with rate
# reports, boot images, failure reports, parser errors, diag questions and a line longer
# than one read.
cat >"$work/commands.rq" <<'EOF'
ver
pwd
ls
ls /docs/readme.txt
mkdir work
cd work
put local.bin dev.bin
put "name with blanks.bin" other.bin
ls
get dev.bin back.bin
get missing.bin missing-copy.bin
cp dev.bin copy.bin
cp dev.bin copy.bin
mv copy.bin moved.bin
mv onlyone
ls
wb 2 local.bin
rb 2 boot2.bin
rb 5 x.bin
rm nothere
launch /bin/hello.elf
diag usb
diag gba
diag aud
diag flash
diag memory
bogus
ping
EOF
head -c 3000 /dev/zero | tr '\0' 'x' >>"$work/commands.rq"
printf '\nq\n' >>"$work/commands.rq"
printf 'maybe\ny\na\ny\nr\np\nn\n' >"$work/answers.txt"

# Runs one shell in a fresh directory against a fresh device: mode "script" reads the
# commands from a script with the answers on standard input; "console" types both.
run_session() {
  local shell="$1" mode="$2" dir="$3"
  mkdir -p "$dir/root" "$dir/boots"
  cp "$work/local.bin" "$dir/local.bin"
  cp "$work/local.bin" "$dir/name with blanks.bin"
  start_rqsim "$sim" "$dir/sim.out" "$dir/sim.err" --root "$dir/root" --demo \
    --boot-dir "$dir/boots" --diag-delay 0 --diag-status flash=100 --once ||
    fail "rqsim did not start"
  local port="$rqsim_port"
  local status=0
  if [[ "$mode" == script ]]; then
    (cd "$dir" && timeout 60 "$shell" "$work/commands.rq" 127.0.0.1 "$port" \
      <"$work/answers.txt" >"$dir/stdout" 2>"$dir/stderr") || status=$?
  else
    # At the console the answers follow the command that asks for them.
    awk -v answers="$work/answers.txt" '
      { print }
      /^diag gba/ { for (i = 0; i < 2; i++) { getline a < answers; print a } }
      /^diag aud/ { while ((getline a < answers) > 0) print a }
    ' "$work/commands.rq" >"$work/console.txt"
    (cd "$dir" && timeout 60 "$shell" 127.0.0.1 "$port" \
      <"$work/console.txt" >"$dir/stdout" 2>"$dir/stderr") || status=$?
  fi
  echo "$status" >"$dir/status"
  # --once: rqsim ends by itself when the shell leaves.
  wait "$rqsim_pid" 2>/dev/null || true
  rqsim_pid=""
  sed -E 's/Download (-?[0-9.]+) KB [^ ]+ sec [^ ]+ KB\/s$/Download \1 KB (time masked)/' \
    "$dir/stdout" >"$dir/stdout.masked"
}

head -c 100000 /dev/urandom >"$work/local.bin"
for mode in script console; do
  run_session "$editor_build/rqshell" "$mode" "$work/editor-$mode"
  run_session "$plain_build/rqshell" "$mode" "$work/plain-$mode"
  a="$work/editor-$mode" b="$work/plain-$mode"
  [[ "$(cat "$a/status")" == 0 && "$(cat "$b/status")" == 0 ]] ||
    fail "$mode: exit status $(cat "$a/status") (editor) and $(cat "$b/status") (plain)"
  if ! cmp -s "$a/stdout.masked" "$b/stdout.masked"; then
    diff "$b/stdout.masked" "$a/stdout.masked" | head -20 >&2 || true
    fail "$mode: standard output differs between the editor build and the plain build"
  fi
  cmp -s "$a/stderr" "$b/stderr" || fail "$mode: standard error differs"
  [[ ! -s "$a/stderr" ]] || fail "$mode: the shell wrote to standard error: $(head -3 "$a/stderr")"
  for f in back.bin boot2.bin root/work/dev.bin; do
    cmp -s "$a/$f" "$b/$f" || fail "$mode: $f differs between the two sessions"
  done
  cmp -s "$work/local.bin" "$a/back.bin" || fail "$mode: the downloaded copy differs from the upload"
  # The session must have done what it says, or the comparison proves little.
  grep -q '\\/  AUDIO TEST PASSED$\|X  AUDIO TEST FAILED' "$a/stdout" || fail "$mode: no audio verdict"
  grep -q 'ERROR: file does not exist $' "$a/stdout" || fail "$mode: no failure report"
  echo "plain-reader-check: $mode session: $(wc -c <"$a/stdout") bytes of console text identical"
done
