#!/usr/bin/env bash
# Runs a fault-suite program with the two folders only a mount can give, in a mount
# namespace of its own so that nothing outside sees them:
#   QB_SMALL_DISK        a small tmpfs, for a disk that is really full
#   QB_READONLY_FOLDER   a folder holding a card file, bind-mounted read-only, which
#                        even root cannot write to
# Where mounting is refused (not root, no user namespaces), the program runs without
# them and skips those suites, saying why.
#
# Usage: with-fault-mounts.sh [--wine] <program> [arguments...]
#   --wine   the program is a Windows one: run it under Wine, with a wineserver of
#            its own inside the namespace (the server opens the files, so it must
#            see the mounts), and name the folders as Windows paths.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine=
if [ "${1:-}" = --wine ]; then wine=1; shift; fi

if [ -z "${QB_IN_FAULT_NAMESPACE:-}" ]; then
  if unshare --mount --propagation private true 2>/dev/null; then
    QB_IN_FAULT_NAMESPACE=1 exec unshare --mount --propagation private "$0" ${wine:+--wine} "$@"
  fi
  echo "with-fault-mounts: cannot make a mount namespace here; the mount suites will skip" >&2
else
  base=$(mktemp -d /tmp/qb-fault-mounts.XXXXXX)
  trap 'rm -rf "$base" 2>/dev/null || true' EXIT
  mkdir -p "$base/small" "$base/readonly"
  printf 'Al\xfe\xfeAbe\xfe\xfeMale\xfd' >"$base/readonly/test.txt"
  if mount -t tmpfs -o size=256k,mode=0777 qb-small-disk "$base/small" &&
     mount --bind "$base/readonly" "$base/readonly" &&
     mount -o remount,bind,ro "$base/readonly"; then
    export QB_SMALL_DISK=$base/small QB_READONLY_FOLDER=$base/readonly
  else
    echo "with-fault-mounts: mounting was refused; the mount suites will skip" >&2
  fi
fi

if [ -z "$wine" ]; then
  exec "$@"
fi
if [ -n "${QB_IN_FAULT_NAMESPACE:-}" ]; then
  # Hide any wineserver outside, so that one starts in here.
  mount -t tmpfs -o mode=0700 qb-wine-server "/tmp/.wine-$(id -u)" 2>/dev/null ||
    { mkdir -p "/tmp/.wine-$(id -u)" && mount -t tmpfs -o mode=0700 qb-wine-server "/tmp/.wine-$(id -u)"; }
fi
source "$here/wine-env.sh"
use_wine_for "$1"
ensure_wine_prefix
for name in QB_SMALL_DISK QB_READONLY_FOLDER; do
  [ -n "${!name:-}" ] && export "$name=$(winepath -w "${!name}" 2>/dev/null)"
done
status=0
wine "$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
