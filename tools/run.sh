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
wineserver -k 2>/dev/null || true
cd "$bin"
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  wineserver -p 30
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
  # A virtual desktop: no window manager runs here, and Wine would wait for one on every hide.
  wine explorer /desktop=VeltrinaTour,1600x1000 VeltrinaTour.exe "$(winepath -w "$0")"; rc=$?
  wineserver -k 2>/dev/null || true
  exit $rc' "$tour"
echo "tour screenshots: $tour"
ls "$tour"
