#!/usr/bin/env bash
# Runs one Windows program inside the project's prefix; used as CTest's cross-compiling emulator.
# Keeps the program's exit code. The display comes from the caller (Xvfb under make test).
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
WINE_ROOT="${WINE_ROOT:-$(cd "$here/../build" && pwd)}"
source "$here/wine-env.sh"
exec wine "$@"
