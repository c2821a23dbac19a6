#!/usr/bin/env bash
# Lints the man pages, installs a build into a temporary prefix with cmake --install and
# checks what arrived: the programs run from there, their pages are in share/man/man1 with
# the build's version in the footer, the examples and the dissector are in share/rqshell, and
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
for page in "$repo"/doc/*.1; do
  mandoc -T lint -W warning "$page" || fail "mandoc reports problems in $page"
done
echo "check-install: man pages lint clean"

prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/rqshell bin/rqsim share/man/man1/rqshell.1.gz share/man/man1/rqsim.1.gz \
  share/rqshell/wireshark/rq.lua share/rqshell/examples/README.md share/doc/rqshell/copyright; do
  [[ -f "$prefix/$f" ]] || fail "$f was not installed"
done
# Each program built has its page, whose footer carries the version set in CMakeLists.txt.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[[ -n "$version" ]] || fail "no project version in $build/CMakeCache.txt"
for program in rqshell rqtool rqsim rqmount; do
  [[ -x "$prefix/bin/$program" ]] || continue
  page="$prefix/share/man/man1/$program.1.gz"
  [[ -f "$page" ]] || fail "$program was installed without its page"
  th="$(zcat "$page" | head -n 1)"
  [[ "$th" == ".TH ${program^^} 1 "*" \"rqshell $version\" "* ]] ||
    fail "$program.1 does not name version $version in its footer: $th"
  mandoc -T lint -W warning "$page" || fail "mandoc reports problems in the installed $page"
  [[ "$(MANPATH="$prefix/share/man" man -w "$program")" == "$page" ]] ||
    fail "man -w $program does not find $page"
done
echo "check-install: each page names version $version in its footer"

# The installed shell prints its usage for a wrong argument count and exits with 255.
status=0
usage="$("$prefix/bin/rqshell" a b c d)" || status=$?
[[ "$status" == 255 && "$usage" == "Usage: rqshell [cmd_script] [server port]"* ]] ||
  fail "installed rqshell: status $status, usage text: ${usage:0:60}"
help="$("$prefix/bin/rqsim" --help)" || fail "installed rqsim --help failed"

# Every option of rqsim --help is described in its page (which writes each dash as \-).
page="$(zcat "$prefix/share/man/man1/rqsim.1.gz" | sed 's/\\-/-/g')"
missing=()
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
  grep -qF -- "$option" <<<"$page" || missing+=("$option")
done
((${#missing[@]} == 0)) || fail "rqsim.1 does not describe: ${missing[*]}"
echo "check-install: cmake --install put rqshell, rqsim and their pages in place"

# rqtool, where the build has it: installed with its page, and every long option of its
# --help described there (the page writes a dash as \- and may break a name after it).
if [[ -x "$build/rqtool" ]]; then
  for f in bin/rqtool share/man/man1/rqtool.1.gz; do
    [[ -f "$prefix/$f" ]] || fail "$f was not installed"
  done
  help="$("$prefix/bin/rqtool" --help)" || fail "installed rqtool --help failed"
  [[ "$("$prefix/bin/rqtool" --version)" == "rqtool $version" ]] ||
    fail "installed rqtool --version: $("$prefix/bin/rqtool" --version), expected rqtool $version"
  page="$(zcat "$prefix/share/man/man1/rqtool.1.gz" | sed 's/\\-/-/g')"
  missing=()
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -qF -- "$option" <<<"$page" || missing+=("$option")
  done
  ((${#missing[@]} == 0)) || fail "rqtool.1 does not describe: ${missing[*]}"
  echo "check-install: cmake --install put rqtool and its page in place"
fi
