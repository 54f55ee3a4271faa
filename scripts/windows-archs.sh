# Sourced: which Windows architectures this machine can test and run.
#   plan_windows_archs [auto|win32|win64|"win32 win64"]
# sets `archs` (the ones to use, win32 first) and `archs_note` (one line saying
# which were chosen and, for one that was not, why). The 64-bit build runs
# everywhere; the 32-bit one wherever this machine runs 32-bit code, which is
# found out by running a 32-bit program, not from the kernel's name: some kernels
# have their 32-bit emulation switched off.

# The 32-bit program that is run to find out; a test may name another.
QB_32BIT_PROBE=${QB_32BIT_PROBE:-/usr/lib/wine/wineserver32}

# True when a 32-bit program runs here; otherwise says why in `why_not_32bit`.
runs_32bit_code() {
  local out
  why_not_32bit=
  if [ ! -x "$QB_32BIT_PROBE" ]; then
    why_not_32bit="32-bit Wine (Debian's wine32) is not installed"
    return 1
  fi
  if ! out=$("$QB_32BIT_PROBE" --version 2>&1); then
    why_not_32bit="this machine cannot run 32-bit programs (${out##*: })"
    return 1
  fi
}

plan_windows_archs() {
  local requested=${1:-auto}
  archs_note=
  case $requested in
    auto | "")
      if runs_32bit_code; then
        archs="win32 win64"
        archs_note="Windows builds tested: win32 (as shipped first) and win64"
      else
        archs="win64"
        archs_note="Windows builds tested: win64 only; not win32: $why_not_32bit"
      fi
      ;;
    *)
      archs=
      local arch
      for arch in win32 win64; do
        [[ " $requested " == *" $arch "* ]] && archs="${archs:+$archs }$arch"
      done
      if [ -z "$archs" ]; then
        echo "WINDOWS_ARCH must be auto, win32, win64 or \"win32 win64\", not \"$requested\"" >&2
        return 1
      fi
      if [[ " $archs " == *" win32 "* ]] && ! runs_32bit_code; then
        echo "win32 was asked for, but $why_not_32bit" >&2
        return 1
      fi
      archs_note="Windows builds tested: $archs (asked for with WINDOWS_ARCH)"
      ;;
  esac
}

# The release preset and folder of an architecture.
release_preset_of() { [ "$1" = win32 ] && echo release || echo release64; }
