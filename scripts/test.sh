#!/usr/bin/env bash
# Installs what the build and the tests need where it can (scripts/deps.sh: as root or through
# sudo without a password; otherwise it prints the apt-get line and goes on), configures,
# builds with warnings as errors and runs every test with ctest, then the man page and
# install check. Exits non-zero when the build or any test fails.
# What the machine lacks is not a failure: the build adapts (no rqtool without CLI11 and
# nlohmann-json, the plain line reader without libedit) and the tests that need what is
# missing are skipped with a reason. The last lines then name every program not built and
# every suite not run, each with the Debian package that would bring it; when nothing is
# missing they say nothing.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

# A program that is there to run (bash's lookup also returns a file that cannot be run).
have() {
  local path
  path="$(command -v "$1")" && [[ -x "$path" ]]
}

scripts/deps.sh
cmake --preset ci
cmake --build --preset ci -j 2
ctest_log=build/ci/ctest-output.log
status=0
ctest --preset ci -j 2 2>&1 | tee "$ctest_log" || status=$?
if have mandoc; then
  scripts/check-install.sh build/ci || status=$?
fi

# ---- What did not run, and what would bring it ----
source scripts/deps.sh
notes=()
# "(Debian package X)": the part's packages that are missing, or all of them where the
# machine has them and the piece was still left out (another system, a broken install).
packages_for() {
  local pkgs
  pkgs="$(deps_missing "$@")"
  [[ -n "$pkgs" ]] || pkgs="$(for part in "$@"; do deps_packages "$part"; done | xargs)"
  if [[ "$pkgs" == *" "* ]]; then echo "(Debian packages $pkgs)"; else echo "(Debian package $pkgs)"; fi
}
# Tests ctest names as skipped or not run.
skipped="$(sed -n '/The following tests did not run:/,/^$/p' "$ctest_log" |
  sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/\1/p')"
explained=()
skipped_like() { grep -E "$1" <<<"$skipped" || true; }

if [[ ! -x build/ci/rqtool ]]; then
  notes+=("not built: rqtool, so none of its tests ran $(packages_for tool)")
fi
if [[ -d src/mount && ! -x build/ci/rqmount ]]; then
  notes+=("not built: rqmount, so none of its tests ran $(packages_for mount)")
elif [[ -x build/ci/rqmount ]]; then
  if [[ ! -e /dev/fuse ]]; then
    notes+=("not run: the mount's end-to-end tests (this machine has no /dev/fuse)")
    explained+=('^Mount')
  elif ! have fusermount3; then
    notes+=("not run: the mount's end-to-end tests $(packages_for mount)")
    explained+=('^Mount')
  fi
  if ! have rsync; then
    notes+=("not run: the mount's rsync tests $(packages_for mount-tests)")
    explained+=('^Mount.*[Rr]sync')
  fi
fi
if [[ "$(ldd build/ci/rqshell 2>/dev/null)" != *libedit* ]]; then
  instead=""
  have tmux && instead="(the plain reader was tested at the terminal instead) "
  notes+=("not built: rqshell's line editor, so the line-editing terminal test did not run \
$instead$(packages_for editor)")
  explained+=('^Terminal.LineEditing')
fi
if ! have tmux; then
  notes+=("not run: the terminal tests $(packages_for terminal)")
  explained+=('^Terminal[.]')
fi
if [[ "$(ctest --test-dir build/ci -N -R '^dissector_captures$')" != *dissector_captures* ||
  -n "$(skipped_like '^dissector_captures$')" ]]; then
  notes+=("not run: the dissector test $(packages_for dissector)")
  explained+=('^dissector_captures$')
fi
if ! have mandoc; then
  notes+=("not run: the man page lint and install check $(packages_for manpages)")
fi
# Anything else skipped, by name; each test's output has its reason.
others="$skipped"
((${#explained[@]} == 0)) || others="$(grep -Ev "$(IFS='|'; echo "${explained[*]}")" <<<"$skipped" || true)"
if [[ -n "$others" ]]; then
  notes+=("skipped by the tests themselves: $(echo $others) \
(the reasons are in build/ci/Testing/Temporary/LastTest.log)")
fi

if ((${#notes[@]})); then
  echo
  for n in "${notes[@]}"; do echo "note: $n"; done
fi
exit "$status"
