#!/usr/bin/env bash
# Builds the native projects (the team engine's tests, veltrina-server and its tests, with the
# host's g++ and GoogleTest) and runs their tests. Part of a full tools/test.sh run.
#   tools/native-test.sh [build folder]    default: ${BUILD:-build}/native
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-${BUILD:-build}/native}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
status=0
for project in tests/engine server; do
  out="$dir/$(basename "$project")"
  if [ ! -f "$out/build.ninja" ]; then
    cmake -S "$root/$project" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  fi
  cmake --build "$out" -j "${JOBS:-$(nproc)}"
  ctest --test-dir "$out" --output-on-failure || status=$?
done
exit $status
