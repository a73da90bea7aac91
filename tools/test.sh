#!/usr/bin/env bash
# Runs every test executable under Wine in a throw-away prefix inside a private Xvfb display.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "$1" && pwd)"
# Any further arguments go to CTest (for example: -R frame).
shift
# A full run first fuzzes every parser natively for a few seconds (tools/fuzz.sh), so that the
# fuzz targets keep building and running; a finding fails the run after the Wine tests.
fuzz_status=0
if [ $# -eq 0 ] && [ "${VELTRINA_FUZZ:-1}" != 0 ]; then
  FUZZ_SECONDS="${FUZZ_SECONDS:-3}" bash "$here/fuzz.sh" "$build/fuzz" || fuzz_status=$?
fi
# The native projects (the team engine) are built and tested natively, before the Wine groups.
native_status=0
if [ $# -eq 0 ]; then
  bash "$here/native-test.sh" "$build/native" || native_status=$?
fi
export WINE_ROOT="$build"
export WINEPREFIX="$build/wineprefix-test"
VELTRINA_VIRTUAL_DESKTOP=1 bash "$here/wine-prefix.sh" "$build"
source "$here/wine-env.sh"
# A fresh documents folder for every run: tests never see an earlier run's data.
for docs in "$WINEPREFIX"/drive_c/users/*/Documents; do rm -rf "$docs"; mkdir -p "$docs"; done
wineserver -k 2>/dev/null || true
status=0
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  wineserver -p 60
  # Start the prefix'"'"'s background processes now, away from CTest'"'"'s pipes: started by a test they
  # would inherit its output and CTest would wait for them until the time-out.
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
  # One at a time: window tests of two processes would take the focus from each other.
  ctest --test-dir "$0" --output-on-failure -j 1 "$@"
  rc=$?
  wineserver -k 2>/dev/null || true
  exit $rc' "$build" "$@" || status=$?
[ "$status" -eq 0 ] && [ "$native_status" -ne 0 ] && status=$native_status
[ "$status" -eq 0 ] && [ "$fuzz_status" -ne 0 ] && status=$fuzz_status
exit $status
