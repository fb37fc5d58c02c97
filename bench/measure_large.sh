#!/bin/sh
# `eekpack create` on the large benchmark input (one 64 MiB file of Windows DLLs) with
# --jobs 1 and --jobs 2, taking turns, so that both see the same load: wall time, peak memory
# (maximum resident set) and the processor time other programs took meanwhile (the machine's
# busy time less this run's own), then the ratio of the medians and whether every archive is
# the same.
#
#   bench/measure_large.sh [BUILD_DIR] [REPEATS]     (default build/native, 5)
#
# The build folder's eek_large_bench target makes the input (bench/large/WINE64M.DLL).
set -eu
build=${1:-build/native}
repeats=${2:-5}
eekpack=$build/bin/eekpack
input=$build/bench/large/WINE64M.DLL
[ -x "$eekpack" ] || { echo "no $eekpack: build it first" >&2; exit 1; }
[ -f "$input" ] || { echo "no $input: cmake --build $build --target eek_large_bench" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Busy time of all processors so far, in clock ticks.
busy() { awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 + $9 }' /proc/stat; }
ticks=$(getconf CLK_TCK)

run=1
while [ "$run" -le "$repeats" ]; do
  for jobs in 1 2; do
    before=$(busy)
    /usr/bin/time -f "%e %M %U %S" -o "$out/time" "$eekpack" create --jobs "$jobs" "$out/$jobs-$run.eek" "$input"
    after=$(busy)
    read -r seconds kilobytes user system <"$out/time"
    others=$(echo "$before $after $ticks $user $system" | awk '{ o = ($2 - $1) / $3 - $4 - $5; printf "%.2f", o < 0 ? 0 : o }')
    echo "jobs $jobs  run $run  $seconds s  $((kilobytes / 1024)) MiB peak  others took ${others} s of processor time meanwhile"
    echo "$seconds" >>"$out/seconds-$jobs"
    cmp -s "$out/$jobs-$run.eek" "$out/1-1.eek" || { echo "archive $jobs-$run differs" >&2; exit 1; }
    [ "$jobs-$run" = 1-1 ] || rm "$out/$jobs-$run.eek"
  done
  run=$((run + 1))
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
one=$(median "$out/seconds-1")
two=$(median "$out/seconds-2")
echo "median: jobs 1 $one s, jobs 2 $two s, ratio $(echo "$one $two" | awk '{ printf "%.2f", $1 / $2 }'); every archive the same"
