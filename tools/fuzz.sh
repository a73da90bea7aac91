#!/usr/bin/env bash
# Builds the native fuzz targets (tests/fuzz: clang, libFuzzer, ASan, UBSan) and runs each for
# FUZZ_SECONDS (default 60) on a working copy of its seed corpus, inside the build folder.
# Prints each target's executions and findings; exits non-zero when any target found something.
#   tools/fuzz.sh [build folder]    default: ${BUILD:-build}/fuzz
#   FUZZ_TARGETS="json codec"       run only these targets
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-${BUILD:-build}/fuzz}"
seconds="${FUZZ_SECONDS:-60}"
cxx="${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++ || true)}"
[ -n "$cxx" ] || { echo "fuzz: clang++ not found (make setup installs it)" >&2; exit 1; }

mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root/tests/fuzz" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
fi
cmake --build "$dir" -j "${JOBS:-$(nproc)}"

targets="${FUZZ_TARGETS:-$(cd "$root/tests/fuzz" && ls *_fuzzer.cpp | sed 's/_fuzzer\.cpp$//')}"
failed=0
for name in $targets; do
  work="$dir/run/$name"
  mkdir -p "$work/corpus" "$work/artifacts" "$dir/artifacts"
  # New seeds join the corpus grown by earlier runs; the repository's corpus is only read.
  cp -n "$root/tests/fuzz/corpus/$name/"* "$work/corpus/" 2>/dev/null || true
  rm -f "$work/artifacts/"*
  dict=()
  case "$name" in
    codec|json|demo_state|account_store|cache_document|core_answers|server_request) dict=(-dict="$root/tests/fuzz/json.dict") ;;
    skin_xml) dict=(-dict="$root/tests/fuzz/xml.dict") ;;
  esac
  status=0
  (cd "$work" && "$dir/${name}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${dict[@]}" \
     -print_final_stats=1 -artifact_prefix="$work/artifacts/" corpus >"$work/log.txt" 2>&1) || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log.txt" | tail -n 1)"
  found=$(find "$work/artifacts" -type f | wc -l)
  # An exit without a saved input (a crash in start-up, say) is a finding too.
  [ "$status" -ne 0 ] && [ "$found" -eq 0 ] && found=1
  printf 'fuzz %-16s %12s executions  %d findings\n' "$name" "${runs:-?}" "$found"
  if [ "$found" -ne 0 ]; then
    failed=1
    cp "$work/artifacts/"* "$dir/artifacts/" 2>/dev/null || true
    find "$work/artifacts" -type f -printf '    %p\n'
    grep -m 5 -E 'ERROR: |runtime error|property broken|SUMMARY' "$work/log.txt" | sed 's/^/    /' || true
    echo "    log: $work/log.txt"
  fi
done
exit $failed
