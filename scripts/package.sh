#!/usr/bin/env bash
# Builds every package into build/packages/: the Debian package from a Linux release build
# (preset package), and a zip from each Windows build (presets mingw64 and mingw32, which
# need the MinGW-w64 cross compilers: Debian g++-mingw-w64-x86-64, g++-mingw-w64-i686).
# The version in the file names is the one set in CMakeLists.txt.
#   scripts/package.sh [deb] [win64] [win32]      (default: all three)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"

kinds=("$@")
((${#kinds[@]})) || kinds=(deb win64 win32)
out="$repo/build/packages"
mkdir -p "$out"

# cpack in a configured and built tree; the package goes to build/packages/.
pack() {
  local preset="$1"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j 2
  (cd "build/$preset" && cpack -B "$out" >/dev/null)
  rm -rf "$out/_CPack_Packages"
}

for kind in "${kinds[@]}"; do
  case "$kind" in
    deb)
      scripts/deps.sh --require build tool editor packaging
      pack package
      ;;
    win64 | win32)
      if [[ "$kind" == win64 ]]; then
        compiler=x86_64-w64-mingw32-g++-posix debian=g++-mingw-w64-x86-64
      else
        compiler=i686-w64-mingw32-g++-posix debian=g++-mingw-w64-i686
      fi
      command -v "$compiler" >/dev/null || {
        echo "package: $compiler not found (Debian package $debian)" >&2
        exit 1
      }
      scripts/deps.sh --require tool packaging
      pack "mingw${kind#win}"
      ;;
    *)
      echo "usage: scripts/package.sh [deb] [win64] [win32]" >&2
      exit 2
      ;;
  esac
done
ls -1 "$out"
