#!/usr/bin/env bash
# The Debian packages each part of the project needs, and their installation.
#   scripts/deps.sh [--require] [PART...] [-- PACKAGE...]
# Installs the packages of the named parts (default: all but packaging) that are missing,
# in one go, when it can: as root, or through `sudo -n` (sudo without a password). One line
# says what it installs. When it cannot, it prints the apt-get line that would, and exits 0:
# the build and the tests go on with what is there. With --require it exits 1 when anything
# is still missing afterwards (CI). PACKAGEs after -- are installed the same way (CI's own tools).
#   scripts/deps.sh --list        the parts and their packages
# Sourced, it only defines deps_parts, deps_packages PART, deps_about PART and
# deps_missing PART...
# RQ_DEPS_PRETEND_MISSING="pkg ..." counts those packages as missing, to check the paths that
# install or report without removing anything from the machine.

# One row per part: name, what it brings, its packages.
deps_table=(
  "build|the build and its tests|cmake ninja-build g++ libgtest-dev"
  "tool|rqtool|libcli11-dev nlohmann-json3-dev"
  "editor|rqshell's line editor|libedit-dev"
  "terminal|the terminal tests|tmux"
  "dissector|the dissector test|python3 tshark"
  "manpages|the man page check|mandoc man-db"
  "mount|rqmount and its tests|fuse3 libfuse3-dev pkg-config libcli11-dev"
  "mount-tests|the mount's rsync tests|rsync"
  "packaging|the packages|dpkg-dev file mandoc"
)

deps_parts() {
  local row
  for row in "${deps_table[@]}"; do echo "${row%%|*}"; done
}

deps_row() {
  local row
  for row in "${deps_table[@]}"; do
    [[ "${row%%|*}" == "$1" ]] && { echo "$row"; return 0; }
  done
  return 1
}

deps_about() { deps_row "$1" | cut -d'|' -f2; }
deps_packages() { deps_row "$1" | cut -d'|' -f3; }

deps_installed() {
  local pkg="$1"
  [[ " ${RQ_DEPS_PRETEND_MISSING:-} " == *" $pkg "* ]] && return 1
  [[ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" == *" ok installed" ]]
}

# The packages of the parts that are not installed, on one line.
deps_missing() {
  local part pkg out=()
  for part in "$@"; do
    for pkg in $(deps_packages "$part"); do
      deps_installed "$pkg" || out+=("$pkg")
    done
  done
  echo "${out[*]}"
}

deps_main() {
  local require=0 parts=() extra=() arg
  while (($#)); do
    arg="$1"
    shift
    case "$arg" in
      --require) require=1 ;;
      --list)
        local row
        for row in "${deps_table[@]}"; do
          IFS='|' read -r name about pkgs <<<"$row"
          printf '%-12s %-28s %s\n' "$name" "$about" "$pkgs"
        done
        return 0
        ;;
      --) extra=("$@"); break ;;
      -h | --help) sed -n '2,13s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; return 0 ;;
      -*) echo "deps: unknown option $arg" >&2; return 2 ;;
      *)
        deps_row "$arg" >/dev/null || {
          echo "deps: unknown part $arg (parts: $(deps_parts | tr '\n' ' '))" >&2
          return 2
        }
        parts+=("$arg")
        ;;
    esac
  done
  ((${#parts[@]} + ${#extra[@]})) || mapfile -t parts < <(deps_parts | grep -vx packaging)

  if ! command -v dpkg-query >/dev/null; then
    echo "deps: not a Debian system; the build uses what it finds. Debian's names for what" \
      "it may use: $(for p in "${parts[@]}"; do deps_packages "$p"; done | tr '\n' ' ')${extra[*]}"
    return 0
  fi

  # What is missing, and the parts it is for: "tshark (the dissector test)".
  local missing=() said=() part pkgs pkg
  for part in "${parts[@]}"; do
    pkgs="$(deps_missing "$part")"
    [[ -n "$pkgs" ]] || continue
    for pkg in $pkgs; do [[ " ${missing[*]} " == *" $pkg "* ]] || missing+=("$pkg"); done
    said+=("$pkgs ($(deps_about "$part"))")
  done
  pkgs=""
  for pkg in "${extra[@]}"; do deps_installed "$pkg" || pkgs+="${pkgs:+ }$pkg"; done
  if [[ -n "$pkgs" ]]; then
    missing+=($pkgs)
    said+=("$pkgs")
  fi
  ((${#missing[@]})) || return 0
  local what
  what="$(IFS=,; echo "${said[*]}" | sed 's/,/, /g')"

  local as_root=()
  if ((EUID != 0)); then
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
      as_root=(sudo -n)
    else
      echo "deps: missing $what"
      echo "deps: not root and no sudo without a password, so nothing is installed; as root run"
      echo "  apt-get install -y ${missing[*]}"
      echo "deps: going on with what is there"
      ((require == 0)) || return 1
      return 0
    fi
  fi

  echo "deps: installing $what$( ((${#as_root[@]})) && echo " (through sudo)")"
  local log
  log="$(mktemp)"
  # tshark's package asks whether users who are not root may capture: answered ahead (no),
  # so that the install needs no one at the keyboard.
  if [[ " ${missing[*]} " == *" tshark "* ]]; then
    echo "wireshark-common wireshark-common/install-setuid boolean false" |
      "${as_root[@]}" debconf-set-selections
  fi
  local apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -y
    -o DPkg::Lock::Timeout=300)
  if ! "${apt[@]}" update >"$log" 2>&1 ||
    ! "${apt[@]}" install --no-install-recommends "${missing[@]}" >>"$log" 2>&1; then
    tail -n 15 "$log" | sed 's/^/deps:   /'
    echo "deps: the install failed; going on with what is there"
  fi
  rm -f "$log"

  pkgs=""
  for pkg in "${missing[@]}"; do deps_installed "$pkg" || pkgs+=" $pkg"; done
  if [[ -n "$pkgs" ]]; then
    echo "deps: still missing:$pkgs"
    ((require == 0)) || return 1
  fi
  return 0
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  set -uo pipefail
  deps_main "$@"
fi
