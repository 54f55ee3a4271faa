# Sourced by the scripts that run Windows programs: one 32-bit Wine prefix inside
# the build folder, quiet, without the Mono and Gecko installers.
QB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEARCH=win32
export WINEPREFIX=${WINEPREFIX:-$QB_ROOT/build/win32/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Creates the prefix once; concurrent callers wait for the first.
ensure_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.qb-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      touch "$WINEPREFIX/.qb-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}
