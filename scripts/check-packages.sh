#!/usr/bin/env bash
# Checks the packages scripts/package.sh made, as root (CI):
#   deb     lintian finds no error; the package installs with its dependencies; each
#           program runs from /usr/bin (rqshell and rqtool against rqsim from /usr/bin), each
#           page is found by man -w and names the version, the examples and the dissector
#           are in /usr/share/rqshell; then it is removed again and nothing of it is left.
#   win64   the zip holds what it should; its rqshell.exe and rqtool.exe run under wine
#           against the Linux rqsim (scripts/wine-smoke.sh, scripts/wine-tool.sh).
#   win32   the zip holds what it should (32-bit programs; wine64 cannot run them).
#   scripts/check-packages.sh [deb] [win64] [win32]     (default: all three)
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
cd "$repo"
packages="$repo/build/packages"
version="$(sed -n 's/^project(rqshell VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[[ -n "$version" ]] || { echo "check-packages: no version in CMakeLists.txt" >&2; exit 1; }

fail() {
  echo "check-packages: FAILED: $*" >&2
  exit 1
}

work="$(mktemp -d)"
source "$repo/scripts/rqsim-lib.sh"
cleanup() {
  stop_rqsim
  rm -rf "$work"
}
trap cleanup EXIT

check_deb() {
  local deb
  deb="$(compgen -G "$packages/rqshell_${version}-*_*.deb")" || fail "no rqshell_${version}-*.deb in $packages"
  echo "check-packages: $(basename "$deb")"
  dpkg-deb --field "$deb" Package Version Depends | sed 's/^/  /'
  # The tags lintian finds are shown; an error fails the check.
  lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors in $deb"
  echo "check-packages: lintian finds no error"

  [[ -z "$(dpkg-query -W -f='${Status}' rqshell 2>/dev/null | grep ' installed')" ]] ||
    fail "rqshell is installed already; remove it first"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get install $deb"; }
  local programs
  programs="$(dpkg -L rqshell | sed -n 's|^/usr/bin/||p' | sort)"
  echo "check-packages: installed $(echo $programs)"

  # Each program from its installed path.
  local status=0 out
  out="$(/usr/bin/rqshell a b c d)" || status=$?
  [[ "$status" == 255 && "$out" == "Usage: rqshell [cmd_script] [server port]"* ]] ||
    fail "/usr/bin/rqshell a b c d: status $status: ${out:0:60}"
  [[ "$(/usr/bin/rqtool --version)" == "rqtool $version" ]] ||
    fail "/usr/bin/rqtool --version: $(/usr/bin/rqtool --version)"
  /usr/bin/rqsim --help >/dev/null || fail "/usr/bin/rqsim --help"
  if [[ -x /usr/bin/rqmount ]]; then
    /usr/bin/rqmount --help >/dev/null || fail "/usr/bin/rqmount --help"
  fi
  mkdir -p "$work/root"
  start_rqsim /usr/bin/rqsim "$work/sim.out" "$work/sim.err" --root "$work/root" ||
    fail "/usr/bin/rqsim did not start"
  printf 'mkdir /from-shell\nq\n' >"$work/script.rq"
  out="$(/usr/bin/rqshell "$work/script.rq" 127.0.0.1 "$rqsim_port")" ||
    fail "/usr/bin/rqshell against rqsim: $out"
  [[ -d "$work/root/from-shell" ]] || fail "/usr/bin/rqshell's mkdir did not reach rqsim"
  /usr/bin/rqtool -p "$rqsim_port" -t 20 ls / | grep -qx 'from-shell/\?' ||
    fail "/usr/bin/rqtool ls / does not list what rqshell made"
  echo "check-packages: rqshell, rqtool and rqsim run from /usr/bin and talk to each other"
  # rqmount (after rqtool has left: rqsim serves one client at a time): the mount shows
  # what rqshell made, and fusermount3 takes it down again.
  if [[ -x /usr/bin/rqmount ]]; then
    mkdir -p "$work/mnt"
    /usr/bin/rqmount -p "$rqsim_port" -t 20 "$work/mnt" || fail "/usr/bin/rqmount did not mount"
    ls "$work/mnt" | grep -qx from-shell || { fusermount3 -u "$work/mnt" || true;
      fail "the mount made by /usr/bin/rqmount does not show what rqshell made"; }
    fusermount3 -u "$work/mnt" || fail "fusermount3 -u $work/mnt"
    echo "check-packages: rqmount from /usr/bin mounts the device"
  fi
  stop_rqsim

  local program page
  for program in $programs; do
    page="$(man -w "$program")" || fail "man -w $program finds no page"
    zcat "$page" | head -n 1 | grep -qF "\"rqshell $version\"" ||
      fail "$page does not name version $version in its footer"
    echo "check-packages: man -w $program: $page"
  done
  for f in /usr/share/rqshell/wireshark/rq.lua /usr/share/rqshell/examples/README.md \
    /usr/share/doc/rqshell/copyright /usr/share/doc/rqshell/changelog.gz; do
    [[ -f "$f" ]] || fail "$f is not installed"
  done

  DEBIAN_FRONTEND=noninteractive apt-get remove -y -q rqshell >"$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get remove rqshell"; }
  for f in /usr/bin/rqshell /usr/bin/rqtool /usr/share/rqshell; do
    [[ ! -e "$f" ]] || fail "$f is still there after the package was removed"
  done
  echo "check-packages: removed again"
}

# The zip's files under its top folder rqshell-VERSION-KIND/.
check_zip_contents() {
  local kind="$1" zip top
  zip="$packages/rqshell-${version}-${kind}.zip"
  [[ -f "$zip" ]] || fail "$zip was not made"
  top="rqshell-${version}-${kind}"
  rm -rf "$work/$kind"
  mkdir -p "$work/$kind"
  (cd "$work/$kind" && unzip -q "$zip")
  local f
  for f in rqshell.exe rqtool.exe README.md CHANGELOG.md doc/rqshell.html doc/rqtool.html \
    examples/README.md examples/all-diagnostics.rq wireshark/rq.lua wireshark/README.md; do
    [[ -f "$work/$kind/$top/$f" ]] || fail "$(basename "$zip") lacks $top/$f"
  done
  # The right bitness: PE32+ for x86-64, PE32 for i386.
  local format="PE32 executable"
  [[ "$kind" == win64 ]] && format="PE32+ executable"
  for f in rqshell.exe rqtool.exe; do
    file "$work/$kind/$top/$f" | grep -qF "$format" || fail "$top/$f is not a $format"
  done
  grep -qF "rqshell $version" "$work/$kind/$top/doc/rqshell.html" ||
    fail "$top/doc/rqshell.html does not name version $version"
  echo "check-packages: $(basename "$zip") holds the programs, README, HTML pages, examples" \
    "and the dissector"
  zip_dir="$work/$kind/$top"
}

kinds=("$@")
((${#kinds[@]})) || kinds=(deb win64 win32)
for kind in "${kinds[@]}"; do
  case "$kind" in
    deb) check_deb ;;
    win64)
      check_zip_contents win64
      scripts/wine-smoke.sh "$zip_dir/rqshell.exe" build/ci/sim/rqsim
      scripts/wine-tool.sh "$zip_dir/rqtool.exe" build/ci/sim/rqsim
      ;;
    win32) check_zip_contents win32 ;;
    *) echo "usage: scripts/check-packages.sh [deb] [win64] [win32]" >&2; exit 2 ;;
  esac
done
echo "check-packages: passed"
