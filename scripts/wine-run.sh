#!/usr/bin/env bash
# Runs a Windows program under Wine: CTest's emulator for the win32 build.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
ensure_wine_prefix
exec wine "$@"
