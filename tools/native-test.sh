#!/usr/bin/env bash
# Builds the native test projects (the team engine's tests, with the host's g++ and GoogleTest)
# and runs them. Part of a full tools/test.sh run.
#   tools/native-test.sh [build folder]    default: ${BUILD:-build}/native
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-${BUILD:-build}/native}"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
status=0
for project in engine; do
  out="$dir/$project"
  if [ ! -f "$out/build.ninja" ]; then
    cmake -S "$root/tests/$project" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
  fi
  cmake --build "$out" -j "${JOBS:-$(nproc)}"
  ctest --test-dir "$out" --output-on-failure || status=$?
done
exit $status
