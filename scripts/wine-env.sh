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
      # Wine draws caption buttons with Marlett and text with Tahoma; this build of
      # Wine does not find its own copies, so the prefix gets them.
      cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
      touch "$WINEPREFIX/.qb-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Makes every program of this prefix run inside a Wine virtual desktop of the
# given size, which draws window frames and captions as Windows does even with
# no window manager on the display.
use_virtual_desktop() {
  local size=$1
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f >/dev/null 2>&1
  # The desktop is made when the first program starts; let the reg tool's session end.
  wineserver -w
}
