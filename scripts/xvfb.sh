# Sourced: starts a private Xvfb display for this run and stops it on exit.
# Sets DISPLAY. Each run takes the first free display number from 90 up.
start_private_display() {
  local width=${1:-1024} height=${2:-768} n
  for n in $(seq 90 190); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "${width}x${height}x24" -nolisten tcp >/dev/null 2>&1 &
    QB_XVFB_PID=$!
    export DISPLAY=":$n"
    local tries
    for tries in $(seq 1 100); do
      if xdpyinfo >/dev/null 2>&1; then return 0; fi
      kill -0 "$QB_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$QB_XVFB_PID" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  return 1
}

stop_private_display() {
  [ -n "${QB_XVFB_PID:-}" ] && kill "$QB_XVFB_PID" 2>/dev/null || true
  QB_XVFB_PID=
}

# Everything a headless Wine run needs, set up for this shell and torn down when it
# exits: a private display, the prefix (wine-env.sh, sourced first) and a virtual
# desktop of the display's size.
start_headless_wine() {
  local width=$1 height=$2
  trap 'wineserver -k 2>/dev/null || true; stop_private_display' EXIT
  start_private_display "$width" "$height"
  ensure_wine_prefix
  use_virtual_desktop "${width}x${height}"
}
