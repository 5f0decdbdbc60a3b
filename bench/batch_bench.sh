#!/usr/bin/env bash
# Converting whole folders GBK -> UTF-8 with `chengwen-cli batch`, side by side in the
# same run with a Python script that converts in-process, one file after another, and a
# shell loop of iconv (one process per file). The files are pieces of real text cut
# from the corpus of bench/real_corpus.sh (built first when missing): 10,000 pieces of
# 2 KB, and 100 of 1 MB. chengwen runs with one job per core (the default) and with one
# job. The sides run in turn, one run of each per round, RUNS rounds (default 5):
# min/median/max seconds, files/s of the median, the peak resident memory
# (bench/timed.py), and the ratios of the
# medians (theirs/ours: higher is better for us). The outputs are compared byte for
# byte before anything is reported.
# usage: bench/batch_bench.sh [path/to/chengwen-cli] [small-file count, default 10000] [RUNS]
# CW_BENCH_SYNTHETIC=1 cuts the pieces from the synthetic seed text instead.
# Beside them run two floors (bench/batch_floor.cpp, built here): a program that makes only
# the system calls of chengwen's batch, and one that makes the fewest a write that never
# shows a partial file needs, with as many threads as chengwen has jobs and no conversion.
# They show what share of the time the goal allows the system calls alone take on this host.
# A second Python loop writes each output as safely as chengwen does (to a temporary file,
# then linked into place, replacing nothing), for a like-for-like ratio.
# And what the cores give chengwen's own work: one job on half of the files, against two
# one-job processes on the two halves at once (each in its own folder: nothing shared).
# CW_BENCH_ICONV_FILES=N gives the iconv loop only the first N files of each folder (a
# process per file costs the same for every file; ratios are then taken per file and
# the output compared on those files).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$here/build/native/bin/chengwen-cli}"
smallCount="${2:-10000}"
runs="${3:-5}"
py="$here/bench/batch_bench.py"
# The interpreter itself, not a version manager's shim that starts it.
python="$(python3 -c 'import sys; print(sys.executable)')"
if [ -z "${CW_BENCH_SYNTHETIC:-}" ]; then corpus="$("$here/bench/real_corpus.sh")/prose.utf8"; fi
# On a RAM disk when there is one: the converters are measured, not the disk.
work="$(mktemp -d -p "${CW_BENCH_DIR:-$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp)}")"
trap 'rm -rf "$work"' EXIT
floor="$work/batch_floor"
"${CXX:-c++}" -O2 -std=c++17 -pthread -o "$floor" "$here/bench/batch_floor.cpp"

# Earlier outputs are moved aside, not deleted, while a side is measured: creating
# thousands of files right after deleting thousands makes ext4 search past the recently
# freed inodes, which would measure the file system's bookkeeping rather than the
# converters.
iconvLoop='mkdir -p "$2"; n=0; for f in "$1"/*; do [ "$n" -lt "$3" ] || break; n=$((n + 1));
  iconv -f GBK -t UTF-8 "$f" >"$2/${f##*/}"; done'

# Two one-job runs at once, on two folders: _ CLI A B.
halves='"$1" batch --jobs 1 --in ansi --out utf8 --no-bom "$2" >/dev/null & pid=$!
  "$1" batch --jobs 1 --in ansi --out utf8 --no-bom "$3" >/dev/null && wait "$pid"'

# aside OUT: the shell command that moves OUT aside before a run.
aside() {
  printf 'if [ -e %q ]; then mkdir -p %q; mv %q "$(mktemp -d %q/XXXXXX)/"; fi' "$1" "$work/aside" "$1" "$work/aside"
}
# take LINE: the figures of one timed.py line: `times` (min, median, max seconds), `peak`
# (peak resident set, KB) and `paired` (the median of its rounds' times over those of the
# first side, chengwen with every core).
take() {
  set -- $1
  times=("$1" "$2" "$3")
  peak=$7
  paired=$8
}
median() { echo "${times[1]}"; }
report() {  # label count
  printf '  %-22s min %7.3f  median %7.3f  max %7.3f s   %8.0f files/s   peak %6.1f MB\n' "$1" "${times[0]}" \
    "$(median)" "${times[-1]}" "$(echo "$2 / $(median)" | bc -l)" "$(echo "$peak / 1024" | bc -l)"
}

# side N [LABEL COUNT]: takes the figures of the Nth line of the run's `lines`, and reports
# them under LABEL, per COUNT files, when a label is given.
side() {
  take "$(echo "$lines" | sed -n "$1p")"
  if [ $# -eq 3 ]; then report "$2" "$3"; fi
}

run() {  # label count bytes
  local label="$1" count="$2" bytes="$3"
  local src="$work/$label" ours="$work/$label(已转换)" pyOut="$work/$label-py" iconvOut="$work/$label-iconv"
  local safeOut="$work/$label-pysafe" floorOut="$work/$label-floor" leanOut="$work/$label-lean" halfA="$work/$label-a" halfB="$work/$label-b"
  if [ -n "${CW_BENCH_SYNTHETIC:-}" ]; then
    "$python" "$py" make "$src" "$count" "$bytes"
  else
    "$python" "$py" cut "$src" "$count" "$bytes" "$corpus"
  fi
  local mb
  mb=$(du -sm "$src" | cut -f1)
  echo "$label: $count files of $bytes bytes (${mb} MB), GBK -> UTF-8, $runs runs each"
  mkdir "$halfA" "$halfB"
  local names
  mapfile -t names < <(cd "$src" && ls)
  (cd "$src" && ln -t "$halfA" "${names[@]:0:count/2}" && ln -t "$halfB" "${names[@]:count/2}")
  local iconvCount=$(( ${CW_BENCH_ICONV_FILES:-$count} < count ? ${CW_BENCH_ICONV_FILES:-$count} : count ))
  # One run of each side in turn, RUNS rounds (bench/timed.py).
  local lines
  lines=$(python3 "$here/bench/timed.py" "$runs" \
    --setup "$(aside "$ours")" -- "$cli" batch --in ansi --out utf8 --no-bom "$src" \
    --- --setup "$(aside "$ours")" -- "$cli" batch --jobs 1 --in ansi --out utf8 --no-bom "$src" \
    --- --setup "$(aside "$pyOut")" -- "$python" "$py" convert "$src" "$pyOut" \
    --- --setup "$(aside "$iconvOut")" -- bash -c "$iconvLoop" _ "$src" "$iconvOut" "$iconvCount" \
    --- --setup "$(aside "$floorOut")" -- "$floor" chengwen "$jobs" "$src" "$floorOut" \
    --- --setup "$(aside "$leanOut")" -- "$floor" lean "$jobs" "$src" "$leanOut" \
    --- --setup "$(aside "$halfA(已转换)")" -- "$cli" batch --jobs 1 --in ansi --out utf8 --no-bom "$halfA" \
    --- --setup "$(aside "$halfA(已转换)"); $(aside "$halfB(已转换)")" -- bash -c "$halves" _ "$cli" "$halfA" "$halfB" \
    --- --setup "$(aside "$safeOut")" -- "$python" "$py" convert-safe "$src" "$safeOut")
  side 1 "chengwen (${jobs} jobs)" "$count"
  local tOurs
  tOurs=$(median)
  side 2 "chengwen (1 job)" "$count"
  local tOne pOne
  tOne=$(median) pOne=$paired
  side 3 "python in-process" "$count"
  local tPy pPy
  tPy=$(median) pPy=$paired
  side 4 "iconv per file ($iconvCount)" "$iconvCount"
  local tIconv pIconv
  tIconv=$(echo "$(median) * $count / $iconvCount" | bc -l) pIconv=$(echo "$paired * $count / $iconvCount" | bc -l)
  side 5 "syscalls alone" "$count"
  local tFloor tLean tHalf tHalves tSafe
  tFloor=$(median)
  side 6 "fewest syscalls" "$count"
  tLean=$(median)
  side 7
  tHalf=$(median)
  side 8
  tHalves=$(median)
  side 9 "python, safe writes" "$count"
  tSafe=$(median)
  diff -r "$pyOut" "$safeOut" >/dev/null || { echo "$label: the two Python loops differ" >&2; exit 1; }
  diff -r "$src" "$floorOut" >/dev/null && diff -r "$src" "$leanOut" >/dev/null ||
    { echo "$label: a floor's copies differ from the files" >&2; exit 1; }
  diff -r "$ours" "$pyOut" >/dev/null || { echo "$label: chengwen and Python differ" >&2; exit 1; }
  for f in "$iconvOut"/*; do
    cmp -s "$f" "$ours/${f##*/}" || { echo "$label: chengwen and iconv differ on ${f##*/}" >&2; exit 1; }
  done
  rm -rf "$work/aside"
  # The goals (3x the Python loop, 20x the iconv loop) are set for the many small files.
  local goal3="" goal20=""
  if [ "$label" = small ]; then goal3=" (goal 3)" goal20=" (goal 20)"; fi
  printf '  ratios of the medians: vs python x%.2f%s, vs iconv loop x%.1f%s; %s jobs vs 1 job x%.2f\n' \
    "$(echo "$tPy / $tOurs" | bc -l)" "$goal3" "$(echo "$tIconv / $tOurs" | bc -l)" "$goal20" "$jobs" \
    "$(echo "$tOne / $tOurs" | bc -l)"
  printf '  paired (median of the rounds): vs python x%.2f, vs iconv loop x%.1f; %s jobs vs 1 job x%.2f\n' \
    "$pPy" "$pIconv" "$jobs" "$pOne"
  # The goal's time: a third of the Python loop's.
  local goal
  goal=$(echo "$tPy / 3" | bc -l)
  if [ "$label" = small ]; then
    printf '  3x python is %.3f s: chengwen'"'"'s system calls alone take %.0f%% of it, the fewest calls %.0f%%; chengwen takes %.0f%%\n' \
    "$goal" "$(echo "100 * $tFloor / $goal" | bc -l)" "$(echo "100 * $tLean / $goal" | bc -l)" "$(echo "100 * $tOurs / $goal" | bc -l)"
  fi
  printf '  against the Python loop that writes as safely (a temporary file linked into place): x%.2f\n' \
    "$(echo "$tSafe / $tOurs" | bc -l)"
  printf '  one job on half the files %.3f s, two one-job processes on the halves at once %.3f s: the cores give x%.2f\n' \
    "$tHalf" "$tHalves" "$(echo "2 * $tHalf / $tHalves" | bc -l)"
}

jobs=$(nproc)
echo "chengwen-cli: $cli ($jobs cores)"
# What the cores give now, on a shared host: a busy loop alone, and one per core at once
# (the same time means every core is free; twice the time, one core's worth in all).
spin='i=0; while [ $i -lt 200000 ]; do i=$((i + 1)); done'
start=$(date +%s.%N); bash -c "$spin"; one=$(echo "$(date +%s.%N) - $start" | bc -l)
start=$(date +%s.%N)
for _ in $(seq "$jobs"); do bash -c "$spin" & done
wait
printf 'busy loop: alone %.2f s, %s at once %.2f s\n' "$one" "$jobs" "$(echo "$(date +%s.%N) - $start" | bc -l)"
run small "$smallCount" 2048
run large 100 1048576
