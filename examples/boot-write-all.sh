#!/usr/bin/env bash
# Writes one boot image to several devices at once: one rqtool per device, all in parallel,
# each reading the image back to verify it. Prints one result line per device, in the order
# the devices were given, once all are done:
#   127.0.0.1:20025 ok
#   127.0.0.1:20026 FAILED (exit 3, link): rqtool: ...
# Exits 0 when every device succeeded, 1 when any failed, 2 for a usage mistake.
#
#   examples/boot-write-all.sh BOOT IMAGE HOST:PORT [HOST:PORT...]
#
# The rqtool used is $RQTOOL, else the one on PATH. The time-out for each device is
# $RQTOOL_TIMEOUT seconds (default 30).
set -uo pipefail

usage() {
  echo "usage: $0 BOOT IMAGE HOST:PORT [HOST:PORT...]   (BOOT 1-3)" >&2
  exit 2
}
(($# >= 3)) || usage
boot="$1" image="$2"
shift 2
[[ "$boot" =~ ^[1-3]$ ]] || usage
[[ -f "$image" && -r "$image" ]] || {
  echo "$0: cannot read the image $image" >&2
  exit 2
}
for device in "$@"; do
  [[ "$device" =~ ^[^:]+:[0-9]+$ ]] || {
    echo "$0: \"$device\" is not HOST:PORT" >&2
    usage
  }
done
rqtool="${RQTOOL:-rqtool}"
timeout="${RQTOOL_TIMEOUT:-30}"

errors="$(mktemp -d)"
trap 'rm -rf "$errors"' EXIT

# What each of rqtool's exit statuses means, for the result line.
meaning() {
  case "$1" in
    1) echo "device refused" ;;
    2) echo "usage" ;;
    3) echo "link" ;;
    4) echo "local file" ;;
    5) echo "verification" ;;
    *) if (($1 > 128)); then echo "killed by signal $(($1 - 128))"; else echo "unknown"; fi ;;
  esac
}

devices=("$@")
pids=()
for i in "${!devices[@]}"; do
  device="${devices[$i]}"
  "$rqtool" -q -t "$timeout" -H "${device%:*}" -p "${device##*:}" boot write "$boot" "$image" \
    </dev/null >/dev/null 2>"$errors/$i" &
  pids+=($!)
done

failed=0
for i in "${!pids[@]}"; do
  device="${devices[$i]}"
  status=0
  wait "${pids[$i]}" || status=$?
  if ((status == 0)); then
    echo "$device ok"
  else
    failed=1
    echo "$device FAILED (exit $status, $(meaning "$status")): $(head -n 1 "$errors/$i")"
  fi
done
exit "$failed"
