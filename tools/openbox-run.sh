#!/usr/bin/env bash
# Runs one Windows program as under a desktop with a real window manager: a private Xvfb display with
# openbox, and a Wine prefix of its own without a virtual desktop ($build/wineprefix-openbox), served
# by its own wineserver. Nothing of the virtual-desktop prefix or display the other tests use is
# touched, and everything started here goes again, whatever happens.
# usage: openbox-run.sh <build> <program.exe> [arguments...]
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
program="$2"
shift 2
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "openbox-run: $tool is missing (tools/setup.sh installs it)" >&2; exit 1; }
done

export WINE_ROOT="$build"
export WINEPREFIX="$build/wineprefix-openbox"
unset VELTRINA_VIRTUAL_DESKTOP
scratch="$(mktemp -d)"
xvfb_pid="" openbox_pid=""
cleanup() {
  WINEPREFIX="$build/wineprefix-openbox" wineserver -k 2>/dev/null
  [ -n "$openbox_pid" ] && kill "$openbox_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$openbox_pid" ] && wait "$openbox_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A free display of its own: Xvfb picks the number and writes it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
display="$(head -n 1 "$scratch/display" 2>/dev/null)"
if [ -z "$display" ]; then
  echo "openbox-run: Xvfb did not start" >&2
  cat "$scratch/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"
openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
openbox_pid=$!

# The prefix once, then a fresh documents folder for every run, as tools/test.sh does for its own.
bash "$here/wine-prefix.sh" "$build" || exit 1
source "$here/wine-env.sh"
for docs in "$WINEPREFIX"/drive_c/users/*/Documents; do rm -rf "$docs"; mkdir -p "$docs"; done
wineserver -k 2>/dev/null
# Openbox owns the display once it has set its supporting window on the root.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  kill -0 "$openbox_pid" 2>/dev/null || { echo "openbox-run: openbox exited" >&2; cat "$scratch/openbox.log" >&2; exit 1; }
  sleep 0.1
done
wineserver -p 60
# The prefix's background processes first, away from the caller's pipes (see tools/test.sh).
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
# The smoke tests ask the client's desktop for a taskbar only inside a virtual desktop.
export VELTRINA_WINDOW_MANAGER=openbox
# Within CTest's time-out, which would kill this script before it cleans up.
timeout --kill-after=10 "${OPENBOX_RUN_SECONDS:-180}" wine "$program" "$@"
