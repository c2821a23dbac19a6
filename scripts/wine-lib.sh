# Sourced by the scripts that run the Windows shell under wine (Debian's wine64).
#   wine_start EXE
#     sets wine (scripts/wine-run: the loader with a fixed address layout) and WINEPREFIX
#     (a private prefix beside EXE, created on first use), and starts a wineserver that
#     stays until wine_stop. Returns non-zero with a message when wine is missing or the
#     prefix cannot be made.
#   wine_stop
#     ends that wineserver and the wine services it started.
wine_loader=/usr/lib/wine/wine64
wine="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-run"
wineserver=/usr/lib/wine/wineserver

wine_start() {
  local exe="$1"
  [[ -x "$wine_loader" && -x "$wineserver" ]] || {
    echo "wine64 is not installed (Debian package wine64)" >&2
    return 1
  }
  # mono and gecko are not needed by a console program; no window may open.
  export WINEPREFIX="$(cd "$(dirname "$exe")" && pwd)/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  # Creating the prefix takes several seconds on first use; later runs find it ready.
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "creating wine prefix $WINEPREFIX"
    timeout 300 "$wine" wineboot --init </dev/null >/dev/null 2>&1 || {
      echo "wineboot could not create the prefix $WINEPREFIX" >&2
      return 1
    }
    timeout 120 "$wineserver" -w || true
  fi
  # A server that stays, with its services started here: a wine program then starts in a
  # fraction of a second, and no service outlives it holding the caller's output pipes
  # (a test would wait for their end until the server quit, seconds later).
  "$wineserver" -p </dev/null >/dev/null 2>&1
  timeout 120 "$wine" "$exe" a b c d </dev/null >/dev/null 2>&1 || true
}

wine_stop() {
  [[ -n "${WINEPREFIX:-}" ]] && "$wineserver" -k 2>/dev/null || true
}
