#!/usr/bin/env bash
# Configures, builds with warnings as errors and runs every test (unit, exchange and
# end-to-end) with ctest. Exits non-zero when the build or any test fails.
# Installs nothing: the build adapts to the machine (without libedit the shell reads the
# console with the plain reader, without tmux there is no terminal to drive), and the tests
# that need what is missing are skipped with a reason; a note at the end names them.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset ci
cmake --build --preset ci -j 2
ctest --preset ci -j 2

if ! ldd build/ci/rqshell 2>/dev/null | grep -q libedit; then
  echo "note: rqshell was built without libedit (Debian package libedit-dev), so the" \
    "line-editing terminal test was skipped; the plain reader was tested at the terminal."
fi
if ! command -v tmux >/dev/null; then
  echo "note: tmux is not installed, so the terminal tests were skipped."
fi
