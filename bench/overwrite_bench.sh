#!/usr/bin/env bash
# Overwrite runs GBK -> UTF-8 over 10,000 small files (2 KB pieces of real prose, from the
# corpus of bench/real_corpus.sh), on the disk (ext4 here) and on /dev/shm: chengwen-cli
# batch --overwrite, which flushes every temporary before it replaces its original and
# keeps each original for undo, side by side in the same run with
#   - a baseline chengwen-cli that neither flushes nor keeps (CW_BENCH_BASELINE_CLI, e.g.
#     a build of an earlier commit; left out when not given),
#   - a Python loop that writes each original over in place (naive: nothing safe), and
#   - a Python loop that writes a temporary, fsyncs it and renames it over (safe),
# and an output-folder run of each chengwen (nothing flushed, nothing kept), to see that
# those are not slower; then both overwrite runs again with one job, as the window runs. Each run gets a fresh copy of the folder, put on the disk first
# (sync) so that no run pays for the copy's writes. min/median/max seconds and the ratios
# of the medians (bench/timed.py; theirs/ours: higher is better for us).
# usage: bench/overwrite_bench.sh [path/to/chengwen-cli] [file count, default 10000] [RUNS, default 3]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$here/build/native/bin/chengwen-cli}"
count="${2:-10000}"
runs="${3:-3}"
baseline="${CW_BENCH_BASELINE_CLI:-}"
python="$(python3 -c 'import sys; print(sys.executable)')"
corpus="$("$here/bench/real_corpus.sh")/prose.utf8"

measure() {  # place
  local work
  work="$(mktemp -d -p "$1")"
  local pristine="$work/pristine" folder="$work/docs"
  "$python" "$here/bench/batch_bench.py" cut "$pristine" "$count" 2048 "$corpus"
  local setup="rm -rf '$folder' '$folder(已转换)'; cp -a '$pristine' '$folder'; sync"
  local sides=(-- "$cli" batch --overwrite --in ansi --out utf8 --no-bom "$folder")
  local labels=("chengwen, overwrite")
  if [ -n "$baseline" ]; then
    sides+=(--- --setup "$setup" -- "$baseline" batch --overwrite --in ansi --out utf8 --no-bom "$folder")
    labels+=("baseline, overwrite")
  fi
  sides+=(--- --setup "$setup" -- "$python" "$here/bench/overwrite_loop.py" naive "$folder")
  labels+=("python, naive")
  sides+=(--- --setup "$setup" -- "$python" "$here/bench/overwrite_loop.py" safe "$folder")
  labels+=("python, fsync+rename")
  sides+=(--- --setup "$setup" -- "$cli" batch --in ansi --out utf8 --no-bom "$folder")
  labels+=("chengwen, to (已转换)")
  if [ -n "$baseline" ]; then
    sides+=(--- --setup "$setup" -- "$baseline" batch --in ansi --out utf8 --no-bom "$folder")
    labels+=("baseline, to (已转换)")
  fi
  sides+=(--- --setup "$setup" -- "$cli" batch --jobs 1 --overwrite --in ansi --out utf8 --no-bom "$folder")
  labels+=("chengwen, overwrite, 1 job")
  if [ -n "$baseline" ]; then
    sides+=(--- --setup "$setup" -- "$baseline" batch --jobs 1 --overwrite --in ansi --out utf8 --no-bom "$folder")
    labels+=("baseline, overwrite, 1 job")
  fi
  local lines
  lines="$("$python" "$here/bench/timed.py" "$runs" --setup "$setup" "${sides[@]}")"
  # Check the result once, out of the timing: every original is now its UTF-8 conversion.
  eval "$setup"
  "$cli" batch --overwrite --in ansi --out utf8 --no-bom "$folder" >/dev/null
  "$python" - "$pristine" "$folder" <<'PY'
import os, sys
a, b = sys.argv[1], sys.argv[2]
for name in os.listdir(a):
    want = open(os.path.join(a, name), "rb").read().decode("gbk").encode("utf-8")
    assert open(os.path.join(b, name), "rb").read() == want, name
PY
  echo "$1 ($(df -T "$1" | awk 'NR==2{print $2}')), $count files of 2 KB, $runs rounds:"
  local first="" i=0
  while read -r min med max _ _ _ _ paired; do
    [ -n "$first" ] || first="$med"
    printf '  %-24s min %7.3f  median %7.3f  max %7.3f s   median/ours %5.2f   paired/ours %5.2f\n' \
      "${labels[$i]}" "$min" "$med" "$max" "$(echo "$med / $first" | bc -l)" "$paired"
    i=$((i + 1))
  done <<<"$lines"
  rm -rf "$work"
}

measure "${CW_BENCH_DISK_DIR:-/var/tmp}"
[ -w /dev/shm ] && measure /dev/shm
