#!/usr/bin/env bash
# `make bench`: measures the real client on the embedded demo service (small and large team) under
# Xvfb, in a Wine prefix of its own with a fresh documents folder for every program, prints a
# table and writes <build>/bench/results.json (ms, bytes and thread counts). Every figure is the
# best of several runs and none fails the run: the exit status is non-zero only when a figure
# could not be measured, and the reasons follow the table.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tools="$(cd "$here/.." && pwd)"
build="$(cd "$1" && pwd)"
out="$build/bench"
if [ "${2:-}" != --inside ]; then
  mkdir -p "$out"
  export WINE_ROOT="$build" WINEPREFIX="$build/wineprefix-bench"
  VELTRINA_VIRTUAL_DESKTOP=1 bash "$tools/wine-prefix.sh" "$build" || exit 1
  source "$tools/wine-env.sh"
  wineserver -k 2>/dev/null || true
  exec xvfb-run -a -s "-screen 0 1600x1000x24" bash "$0" "$build" --inside
fi

source "$tools/wine-env.sh"
wineserver -p 60
# The prefix's background processes (the desktop) start now, before anything is timed.
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
bin="$build/app/bin"
work="$out/work"
rm -rf "$work" && mkdir -p "$work"
results="$work/results.txt"
: >"$results"
problems=()

# step <name> [VAR=value...] <program> [arguments...]: one program, its "result" lines collected.
step() {
  local name=$1 log="$work/$1.log"
  shift
  for docs in "$WINEPREFIX"/drive_c/users/*/Documents; do rm -rf "$docs"; mkdir -p "$docs"; done
  echo "bench: $name" >&2
  (cd "$work" && env "$@" </dev/null) >"$log" 2>&1
  local status=$?
  tr -d '\r' <"$log" | sed -n 's/^result //p' >>"$results"
  if [ "$status" -ne 0 ]; then
    local why
    why="$(tr -d '\r' <"$log" | grep -m3 -E 'cannot measure|Failure|FAILED|Expected|error' | tr '\n' ' ')"
    problems+=("$name exited with $status: ${why:-see the log} (log: $log)")
  fi
}

step startup wine "$bin/VeltrinaBench.exe" startup
step signin-small wine "$bin/VeltrinaBench.exe" signin small
step signin-large wine "$bin/VeltrinaBench.exe" signin large
step session-list wine "$bin/VeltrinaBenchUi.exe" --gtest_filter='SessionListBench.*'
step conversation wine "$bin/VeltrinaBenchUi.exe" --gtest_filter='ConversationBench.*'
step user-lists wine "$bin/VeltrinaBenchUi.exe" --gtest_filter='UserListsBench.*'
step demo-small VELTRINA_BENCH_TEAM=small wine "$bin/VeltrinaBenchUi.exe" --gtest_filter='DemoTeam.*'
step demo-large VELTRINA_BENCH_TEAM=large wine "$bin/VeltrinaBenchUi.exe" --gtest_filter='DemoTeam.*'
wineserver -k 2>/dev/null || true

required="private_bytes_small_team private_bytes_large_team threads_small_team threads_large_team bare_window_ms start_to_team_window_ms startup_ratio
  signin_to_main_window_ms session_list_rebuild_ms_200 session_list_rebuild_ms_2000 session_list_ratio
  open_conversation_ms open_conversation_ms_large_team markup_ms_500 markup_ms_5000 markup_ratio
  open_im_build_ms_2000 open_im_keystroke_ms_2000 view_members_build_ms_2000 view_members_keystroke_ms_2000
  add_members_build_ms_2000 add_members_keystroke_ms_2000"
for key in $required; do
  grep -q "^$key " "$results" || problems+=("no figure for $key")
done
# The required keys first, in the order above, then the others as measured; bytes as integers.
awk -v required="$required" -v json="$out/results.json" '
  { value[$1] = $2; if (!($1 in seen)) { seen[$1] = 1; order[++n] = $1 } }
  function shown(k) { return k ~ /bytes|threads/ ? sprintf("%.0f", value[k]) : sprintf("%.2f", value[k]) }
  END {
    m = split(required, keys, /[ \n]+/)
    for (i = 1; i <= n; ++i) { k = order[i]; req = 0; for (j = 1; j <= m; ++j) if (keys[j] == k) req = 1; if (!req) keys[++m] = k }
    printf "{" > json
    sep = ""
    printf "%-40s %16s\n", "figure", "best"
    for (j = 1; j <= m; ++j) {
      k = keys[j]
      if (k == "" || !(k in value)) continue
      printf "%s\n  \"%s\": %s", sep, k, shown(k) > json
      sep = ","
      unit = k ~ /bytes/ ? sprintf("  (%.1f MiB)", value[k] / 1048576) : k ~ /ratio|threads/ ? "" : " ms"
      printf "%-40s %16s%s\n", k, shown(k), unit
    }
    printf "\n}\n" > json
  }' "$results"
echo "results: $out/results.json"
if [ "${#problems[@]}" -gt 0 ]; then
  printf 'bench: could not measure everything:\n' >&2
  printf '  %s\n' "${problems[@]}" >&2
  exit 1
fi
