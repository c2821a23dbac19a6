#!/usr/bin/env bash
# Runs every end-to-end suite that drives rqshell (all but the hostile-shell tests, which
# speak to rqsim themselves) with the shell under another program, against the Linux rqsim:
#   wine      the 64-bit Windows shell under wine64
#   qemu      the static 32-bit Linux shell under qemu-i386
#   valgrind  the Linux shell under valgrind memcheck (any error or leak fails its test)
#   valgrind-tool  rqtool's end-to-end suites instead, with rqtool under valgrind memcheck
# Fails when any test fails or none ran. Tests that cannot apply there (the terminal tests,
# memory figures, POSIX signals to a Windows program) are skipped with a reason.
#   scripts/e2e-under.sh wine|qemu|valgrind|valgrind-tool [program] [linux build dir]
# Defaults: build/mingw64/rqshell.exe, build/linux32/rqshell or the Linux build's rqshell
# (its rqtool for valgrind-tool, which takes no other); build/ci.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:-}"
build="$(realpath "${3:-$repo/build/ci}")"
case "$kind" in
  wine) default_shell="$repo/build/mingw64/rqshell.exe" ;;
  qemu) default_shell="$repo/build/linux32/rqshell" ;;
  valgrind) default_shell="$build/rqshell" ;;
  valgrind-tool) default_shell="$build/rqtool" ;;
  *)
    echo "usage: scripts/e2e-under.sh wine|qemu|valgrind|valgrind-tool [program] [linux build dir]" >&2
    exit 2
    ;;
esac
shell="$(realpath "${2:-$default_shell}")"
tests="$build/tests/e2e_tests"

fail() {
  echo "e2e-under: $kind: FAILED: $*" >&2
  exit 1
}
[[ -f "$shell" ]] || fail "missing $shell"
if [[ "$kind" == valgrind-tool && "$shell" != "$(realpath "$build/rqtool")" ]]; then
  fail "the tests run the rqtool of $build only"
fi
[[ -x "$tests" ]] || fail "missing $tests (scripts/test.sh builds it)"

log="$(mktemp)"
cleanup() {
  rm -f "$log"
  if [[ "$kind" == wine ]]; then wine_stop; fi
}
trap cleanup EXIT
case "$kind" in
  wine)
    source "$repo/scripts/wine-lib.sh"
    wine_start "$shell" || fail "wine is not ready"
    wrapper="$wine"
    ;;
  qemu)
    wrapper="$(command -v qemu-i386)" || fail "qemu-i386 is not installed (Debian package qemu-user)"
    ;;
  valgrind | valgrind-tool)
    command -v valgrind >/dev/null || fail "valgrind is not installed (Debian package valgrind)"
    # Any memcheck error or leak makes the shell exit with 99 and print to standard error,
    # which fails the test that ran it.
    wrapper="valgrind -q --error-exitcode=99 --leak-check=full"
    ;;
esac

# Selected by suite, so that a test added or renamed in these suites runs here too.
status=0
if [[ "$kind" == valgrind-tool ]]; then
  # rqtool's suites (tests/e2e/tool*_test.cc).
  RQ_E2E_TOOL_WRAPPER="$wrapper" \
    "$tests" --gtest_brief=1 --gtest_filter='Tool*:BootWriteAll.*' >"$log" 2>&1 || status=$?
else
  # The tests' own shell needs no stand-in (their skip reasons then name the wrapper).
  stand_in="$shell"
  [[ "$shell" != "$(realpath "$build/rqshell")" ]] || stand_in=""
  RQ_E2E_SHELL="$stand_in" RQ_E2E_SHELL_WRAPPER="$wrapper" \
    "$tests" --gtest_brief=1 --gtest_filter='-HostileShell.*' >"$log" 2>&1 || status=$?
fi
cat "$log"
ran="$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log")"
skipped="$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below:$/\1/p;s/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$log" | head -1)"
((status == 0)) || fail "end-to-end tests failed with $shell (status $status)"
[[ -n "$ran" && "$ran" -gt 0 ]] || fail "no end-to-end test ran"
echo "e2e-under: $kind: $ran end-to-end tests ran with $shell, ${skipped:-0} of them skipped"
