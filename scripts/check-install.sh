#!/usr/bin/env bash
# Lints the man pages, installs a build into a temporary prefix with cmake --install and
# checks what arrived: the programs run from there, their pages are in share/man/man1, and
# the pages of rqsim and rqtool name every option that their --help lists.
#   scripts/check-install.sh [build dir]      (default: build/ci)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath "${1:-$repo/build/ci}")"

fail() {
  echo "check-install: FAILED: $*" >&2
  exit 1
}

command -v mandoc >/dev/null || fail "mandoc is not installed (Debian package mandoc)"
for page in "$repo/doc/rqshell.1" "$repo/doc/rqsim.1" "$repo/doc/rqtool.1"; do
  mandoc -T lint -W warning "$page" || fail "mandoc reports problems in $page"
done
echo "check-install: man pages lint clean"

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/rqshell bin/rqsim share/man/man1/rqshell.1 share/man/man1/rqsim.1; do
  [[ -f "$prefix/$f" ]] || fail "$f was not installed"
done

# The installed shell prints its usage for a wrong argument count and exits with 255.
status=0
usage="$("$prefix/bin/rqshell" a b c d)" || status=$?
[[ "$status" == 255 && "$usage" == "Usage: rqshell [cmd_script] [server port]"* ]] ||
  fail "installed rqshell: status $status, usage text: ${usage:0:60}"
help="$("$prefix/bin/rqsim" --help)" || fail "installed rqsim --help failed"

# Every option of rqsim --help is described in its page (written there as \-\-name).
missing=()
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
  grep -qF -- "\\-\\-${option#--}" "$prefix/share/man/man1/rqsim.1" || missing+=("$option")
done
((${#missing[@]} == 0)) || fail "rqsim.1 does not describe: ${missing[*]}"
echo "check-install: cmake --install put rqshell, rqsim and their pages in place"

# rqtool, where the build has it: installed with its page, and every long option of its
# --help described there (the page writes a dash as \- and may break a name after it).
if [[ -x "$build/rqtool" ]]; then
  for f in bin/rqtool share/man/man1/rqtool.1; do
    [[ -f "$prefix/$f" ]] || fail "$f was not installed"
  done
  help="$("$prefix/bin/rqtool" --help)" || fail "installed rqtool --help failed"
  page="$(sed 's/\\-/-/g' "$prefix/share/man/man1/rqtool.1")"
  missing=()
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -qF -- "$option" <<<"$page" || missing+=("$option")
  done
  ((${#missing[@]} == 0)) || fail "rqtool.1 does not describe: ${missing[*]}"
  echo "check-install: cmake --install put rqtool and its page in place"
fi
