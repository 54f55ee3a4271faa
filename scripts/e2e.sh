#!/usr/bin/env bash
# Runs a Win32 driver (the end-to-end suite, or the window's timing) against the
# real program under the Wine of the program's architecture, on a private Xvfb
# display inside a Wine virtual desktop, with a Wine prefix of its own.
# The driver asks for host help with lines "@click X Y" and "@screenshot X Y W H".
#
# Usage: e2e.sh <driver.exe> <screenshot.png> <quillborough.exe> [argument...]
# The driver gets the program and the arguments; those that name files are passed
# as Windows paths.
set -euo pipefail
driver=$1 screenshot=$2 program=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

source "$here/wine-env.sh"
use_wine_for "$program" "${QB_E2E_PREFIX:-$(cd "$(dirname "$program")" && pwd)/e2e-prefix}"
[ "$(windows_arch_of "$driver")" = "$WINEARCH" ] ||
  { echo "e2e: $driver and $program are not of one architecture" >&2; exit 1; }
source "$here/xvfb.sh"

start_headless_wine 1024 768

arguments=()
for argument in "$program" "$@"; do
  if [ -f "$argument" ]; then arguments+=("$(winepath -w "$argument")"); else arguments+=("$argument"); fi
done
coproc DRIVER { wine "$driver" "${arguments[@]}" 2>&1; }
driver_pid=$DRIVER_PID
to_driver=${DRIVER[1]}
while IFS= read -r line <&"${DRIVER[0]}"; do
  line=${line%$'\r'}
  case "$line" in
    "@click "*)
      read -r x y <<<"${line#@click }"
      xdotool mousemove "$x" "$y" click 1 && echo ok >&"$to_driver" || echo failed >&"$to_driver"
      ;;
    "@screenshot "*)
      read -r x y w h <<<"${line#@screenshot }"
      if import -window root -crop "${w}x${h}+${x}+${y}" +repage "$screenshot"; then
        echo "screenshot of the main window: $screenshot"
        echo ok >&"$to_driver"
      else
        echo failed >&"$to_driver"
      fi
      ;;
    *) printf '%s\n' "$line" ;;
  esac
done
wait "$driver_pid"
