#!/usr/bin/env bash
# Runs a Windows program under the Wine of its own architecture: CTest's emulator
# for the Windows builds.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
use_wine_for "$1"
ensure_wine_prefix
exec "$QB_WINE_LOADER" "$@"
