#!/usr/bin/env bash
# Runs the end-to-end tests that drive rqshell with another build of the shell against the
# Linux rqsim: the 64-bit Windows shell under wine, or the static 32-bit Linux shell under
# qemu-i386. Fails when any test fails; tests that cannot apply to that shell (the terminal
# tests, memory figures, POSIX signals to a Windows program) are skipped with a reason.
#   scripts/e2e-other-shell.sh wine [rqshell.exe] [linux build dir]
#   scripts/e2e-other-shell.sh qemu [32-bit rqshell] [linux build dir]
# Defaults: build/mingw64/rqshell.exe or build/linux32/rqshell, and build/ci.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-}"
case "$kind" in
  wine) default_shell="$repo/build/mingw64/rqshell.exe" ;;
  qemu) default_shell="$repo/build/linux32/rqshell" ;;
  *)
    echo "usage: scripts/e2e-other-shell.sh wine|qemu [shell] [linux build dir]" >&2
    exit 2
    ;;
esac
shell="$(realpath "${2:-$default_shell}")"
build="$(realpath "${3:-$repo/build/ci}")"
tests="$build/tests/e2e_tests"

fail() {
  echo "e2e-other-shell: $kind: FAILED: $*" >&2
  exit 1
}
[[ -f "$shell" ]] || fail "missing $shell"
[[ -x "$tests" ]] || fail "missing $tests (scripts/test.sh builds it)"

if [[ "$kind" == wine ]]; then
  source "$repo/scripts/wine-lib.sh"
  trap wine_stop EXIT
  wine_start "$shell" || fail "wine is not ready"
  wrapper="$wine"
else
  wrapper="$(command -v qemu-i386)" || fail "qemu-i386 is not installed (Debian package qemu-user)"
fi

# Only the suites that run rqshell: the hostile-shell tests speak to rqsim themselves.
log="$(mktemp)"
trap 'rm -f "$log"; [[ "$kind" != wine ]] || wine_stop' EXIT
status=0
RQ_E2E_SHELL="$shell" RQ_E2E_SHELL_WRAPPER="$wrapper" \
  "$tests" --gtest_brief=1 --gtest_filter='-HostileShell.*' >"$log" 2>&1 || status=$?
cat "$log"
ran="$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log")"
skipped="$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below:$/\1/p;s/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$log" | head -1)"
((status == 0)) || fail "end-to-end tests failed with $shell (status $status)"
[[ -n "$ran" && "$ran" -gt 0 ]] || fail "no end-to-end test ran"
echo "e2e-other-shell: $kind: $ran end-to-end tests ran with $shell, ${skipped:-0} of them skipped"
