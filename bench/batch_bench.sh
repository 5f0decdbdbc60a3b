#!/usr/bin/env bash
# Converting whole folders GBK -> UTF-8 with `chengwen-cli batch`, side by side in the
# same run with a shell loop of iconv (one process per file) and a Python script that
# converts in-process. Prints files/s and the ratios (ours/theirs, higher is better for
# us); chengwen and Python best of three, the iconv loop once. The three outputs are
# compared byte for byte before anything is reported.
# usage: bench/batch_bench.sh [path/to/chengwen-cli] [small-file count, default 10000]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$here/build/native/bin/chengwen-cli}"
smallCount="${2:-10000}"
py="$here/bench/batch_bench.py"
# On a RAM disk when there is one: the converters are measured, not the disk.
work="$(mktemp -d -p "${CW_BENCH_DIR:-$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp)}")"
trap 'rm -rf "$work"' EXIT

seconds() {  # wall-clock seconds of a command, its output dropped
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
# Earlier outputs are moved aside, not deleted: creating thousands of files right after
# deleting thousands makes ext4 search past the recently freed inodes, which would
# measure the file system's bookkeeping rather than the converters.
aside() { if [ -e "$1" ]; then mkdir -p "$work/aside"; mv "$1" "$(mktemp -d "$work/aside/XXXXXX")/"; fi; }
best3() {  # best of three; `clean` runs before each
  local clean="$1" best="" t
  shift
  for _ in 1 2 3; do
    eval "$clean"
    t=$(seconds "$@")
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}
iconvLoop() {  # src out
  mkdir -p "$2"
  for f in "$1"/*; do iconv -f GBK -t UTF-8 "$f" >"$2/${f##*/}"; done
}

run() {  # label count bytes
  local label="$1" count="$2" bytes="$3"
  local src="$work/$label" ours="$work/$label(已转换)" pyOut="$work/$label-py" iconvOut="$work/$label-iconv"
  python3 "$py" make "$src" "$count" "$bytes"
  local tOurs tPy tIconv
  tOurs=$(best3 "aside '$ours'" "$cli" batch --in ansi --out utf8 --no-bom "$src")
  tPy=$(best3 "aside '$pyOut'" python3 "$py" convert "$src" "$pyOut")
  tIconv=$(seconds iconvLoop "$src" "$iconvOut")
  diff -r "$ours" "$pyOut" >/dev/null || { echo "$label: chengwen and Python differ" >&2; exit 1; }
  diff -r "$ours" "$iconvOut" >/dev/null || { echo "$label: chengwen and iconv differ" >&2; exit 1; }
  local mb
  mb=$(du -sm "$src" | cut -f1)
  printf '%-26s chengwen %9.0f files/s   python %9.0f files/s   iconv loop %7.0f files/s\n' \
    "$label ($count files, ${mb} MB)" "$(echo "$count / $tOurs" | bc -l)" "$(echo "$count / $tPy" | bc -l)" \
    "$(echo "$count / $tIconv" | bc -l)"
  printf '%-26s vs python x%.2f (target 2)   vs iconv loop x%.1f (target 20)\n' "" \
    "$(echo "$tPy / $tOurs" | bc -l)" "$(echo "$tIconv / $tOurs" | bc -l)"
}

echo "chengwen-cli: $cli"
run small "$smallCount" 2048
run large 100 1048576
