#!/usr/bin/env bash
# Runs the end-to-end driver against the real program under Wine, on a private
# Xvfb display inside a Wine virtual desktop, with a Wine prefix of its own.
# The driver asks for host help with lines "@click X Y" and "@screenshot X Y W H".
#
# Usage: e2e.sh <e2e_driver.exe> <quillborough.exe> <screenshot.png> [scenario [programs...]]
# The timing scenario times every program named after it beside the first.
set -euo pipefail
driver=$1 program=$2 screenshot=$3 scenario=${4:-}
shift $(($# < 4 ? $# : 4))
here=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX=${QB_E2E_PREFIX:-$(cd "$(dirname "$program")" && pwd)/e2e-prefix}
source "$here/wine-env.sh"
source "$here/xvfb.sh"

start_headless_wine 1024 768

others=()
for other in "$@"; do others+=("$(winepath -w "$other")"); done
coproc DRIVER { wine "$driver" "$(winepath -w "$program")" $scenario "${others[@]}" 2>&1; }
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
