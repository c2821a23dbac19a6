# Sourced by the scripts that drive rqsim: start it on a free loopback port, stop it again.
#   start_rqsim RQSIM OUT_FILE ERR_FILE [rqsim options...]
#     sets rqsim_pid and rqsim_port (read from rqsim's first line, "... 127.0.0.1:PORT");
#     returns non-zero, with rqsim's error output on stderr, when it does not come up.
#   stop_rqsim
#   use_scratch_dir
#     sets work to a fresh directory; it and rqsim go when the script exits.
rqsim_pid=""
rqsim_port=""

start_rqsim() {
  local sim="$1" out="$2" err="$3"
  shift 3
  # The output file exists before the first read below, whenever rqsim's redirect runs.
  : >"$out"
  "$sim" --port 0 "$@" >"$out" 2>"$err" &
  rqsim_pid=$!
  rqsim_port=""
  for _ in $(seq 200); do
    rqsim_port="$(sed -n '1s/.*:\([0-9][0-9]*\)$/\1/p' "$out")"
    [[ -n "$rqsim_port" ]] && return 0
    kill -0 "$rqsim_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "rqsim did not start: $(cat "$err")" >&2
  return 1
}

stop_rqsim() {
  if [[ -n "$rqsim_pid" ]]; then
    kill "$rqsim_pid" 2>/dev/null || true
    wait "$rqsim_pid" 2>/dev/null || true
  fi
  rqsim_pid=""
}

use_scratch_dir() {
  work="$(mktemp -d)"
  trap 'stop_rqsim; rm -rf "$work"' EXIT
}
