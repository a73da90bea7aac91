#!/usr/bin/env bash
# Starts the client from the runnable tree. With a display it runs as a user would run it;
# without one (or with --tour) it runs the scripted tour under Xvfb and writes screenshots.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
mode="${2:-}"
export WINE_ROOT="$build"
bash "$here/wine-prefix.sh" "$build"
source "$here/wine-env.sh"
bin="$build/app/bin"
if [ -n "${DISPLAY:-}" ] && [ "$mode" != "--tour" ]; then
  cd "$bin" && exec wine Veltrina.exe
fi
tour="$build/tour"
rm -rf "$tour" && mkdir -p "$tour"
# The tour signs in as the demo's new member and changes its password: it gets a prefix and a
# documents folder of its own, fresh every time, so `make run`'s data is never touched.
export WINEPREFIX="$build/wineprefix-tour"
VELTRINA_VIRTUAL_DESKTOP=1 bash "$here/wine-prefix.sh" "$build"
for docs in "$WINEPREFIX"/drive_c/users/*/Documents; do rm -rf "$docs"; mkdir -p "$docs"; done
wineserver -k 2>/dev/null || true
cd "$bin"
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  wineserver -p 30
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
  wine VeltrinaTour.exe "$(winepath -w "$0")"; rc=$?
  wineserver -k 2>/dev/null || true
  exit $rc' "$tour"
echo "tour screenshots: $tour"
ls "$tour"
