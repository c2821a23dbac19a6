#!/usr/bin/env bash
# Configures, builds with warnings as errors and runs every test (unit, exchange and
# end-to-end) with ctest. Exits non-zero when the build or any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset ci
cmake --build --preset ci -j 2
ctest --preset ci -j 2
