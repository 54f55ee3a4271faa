# Sourced by the scripts that run Windows programs. Wine is chosen by the program's
# own architecture, never by what Debian's `wine` wrapper picks (it takes the 32-bit
# loader whenever wine32 is installed, whether or not this machine can run it):
#   use_wine_for PROGRAM [PREFIX]   or   use_wine_arch win32|win64 [PREFIX]
# set the loader and a prefix of that architecture, and the server (by default one
# inside build/<arch>/), and define `wine`, `wineserver`, `wineboot` and `winepath`
# as shell functions that use them. Quiet, without the Mono and Gecko installers.
QB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# win32 or win64, from the machine field of a Windows executable's PE header.
windows_arch_of() {
  local pe_offset machine
  pe_offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$1" | tr -d ' ')
  case $machine in
    014c) echo win32 ;;
    8664) echo win64 ;;
    *) echo "$1: not a 32-bit or 64-bit x86 Windows program (machine $machine)" >&2; return 1 ;;
  esac
}

use_wine_arch() {
  local arch=$1
  case $arch in
    win32) QB_WINE_LOADER=/usr/lib/wine/wine ;;
    win64) QB_WINE_LOADER=/usr/lib/wine/wine64 ;;
    *) echo "unknown Windows architecture: $arch" >&2; return 1 ;;
  esac
  # Both loaders start the 64-bit server wherever it is installed (it serves 32-bit
  # programs too), and the 32-bit one only where it is not; the scripts talk to the
  # same one, so that a prefix never has two.
  WINESERVER=/usr/lib/wine/wineserver64
  [ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
  # Each architecture has prefixes of its own: Wine refuses a prefix of the other.
  export WINEARCH=$arch WINELOADER=$QB_WINE_LOADER WINESERVER QB_WINE_LOADER
  export WINEPREFIX=${2:-$QB_ROOT/build/$arch/wineprefix}
}

use_wine_for() {
  local arch
  arch=$(windows_arch_of "$1") || return 1
  use_wine_arch "$arch" "${2:-}"
}

# Shell functions: `exec`, `prlimit` and other programs that start a command never
# see them, and would find Debian's wrapper instead; give those "$QB_WINE_LOADER".
wine() { "$QB_WINE_LOADER" "$@"; }
wineserver() { "$WINESERVER" "$@"; }
wineboot() { wine wineboot.exe "$@"; }
winepath() { wine winepath.exe "$@"; }

# Creates the prefix once; concurrent callers wait for the first.
ensure_wine_prefix() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.qb-ready" ]; then
      # wineboot can end without having filled the prefix (seen once on a busy
      # machine: an empty system32, and every program "could not load kernel32.dll");
      # such a prefix is made again rather than marked ready.
      local try
      for try in 1 2 3; do
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] && break
        echo "wine-env: wineboot left $WINEPREFIX without kernel32.dll; making it again" >&2
        rm -rf "${WINEPREFIX:?}"
      done
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
