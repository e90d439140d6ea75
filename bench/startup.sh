#!/usr/bin/env bash
# Start-up time of tagkana, from process start until its window is shown,
# beside a bare Qt window program, both offscreen. Each run starts the
# program, shows the window and closes it at once; the median of the runs is
# reported.
#   bench/startup.sh [build folder] [runs]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/bench}
runs=${2:-30}
# The program ends itself once shown only in a build with the test hooks.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DTAGKANA_BENCH=ON -DTAGKANA_TEST_HOOKS=ON >/dev/null
cmake --build "$build" -j "${TAGKANA_JOBS:-1}" --target tagkana bare_window VBMP3 >/dev/null
export QT_QPA_PLATFORM=offscreen TAGKANA_QUIT_WHEN_SHOWN=1

time_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Warm the caches once, then alternate so both see the same machine load.
"$build/bin/tagkana" >/dev/null 2>&1
"$build/bin/bare_window" >/dev/null 2>&1
tk=() bare=()
for ((i = 0; i < runs; i++)); do
  tk+=("$(time_ms "$build/bin/tagkana")")
  bare+=("$(time_ms "$build/bin/bare_window")")
done
t=$(printf '%s\n' "${tk[@]}" | median)
b=$(printf '%s\n' "${bare[@]}" | median)
awk -v t="$t" -v b="$b" -v n="$runs" 'BEGIN {
  printf "tagkana     %7.1f ms (median of %d)\nbare window %7.1f ms\nratio       %7.2f (target <= 1.50)\n",
         t / 1000, n, b / 1000, t / b }'
