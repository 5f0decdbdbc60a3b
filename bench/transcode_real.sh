#!/usr/bin/env bash
# `chengwen-cli transcode` against iconv(1) on real text (bench/real_corpus.sh): prose and
# short-line poetry, whole process against whole process (bench/timed.py, one run of each
# tool in turn), standard input to standard output ("stdio": the input file on standard
# input, the output to /dev/null) and file to file (the output removed before each run).
# Each figure is the min/median/max of RUNS runs (default 5) in MB/s of input; "ratio" is
# of the medians, "paired" the median of the rounds' ratios (their time over ours, each
# round's runs moments apart); peak resident memory comes from one more run of each.
# usage: bench/transcode_real.sh [path/to/chengwen-cli] [RUNS]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$here/build/native/bin/chengwen-cli}"
runs="${2:-5}"
[ -x "$cli" ] || { echo "chengwen-cli not found at $cli (pass its path)" >&2; exit 2; }
corpus="$(bash "$here/bench/real_corpus.sh")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# MB/s (min median max) of a timed.py line (seconds: min median max ...) for MB of input.
rates() { awk -v mb="$1" '{printf "%.0f %.0f %.0f", mb / $3, mb / $2, mb / $1}'; }

printf '%-34s %-6s %-20s %-20s %6s %6s %9s %9s\n' "input, direction" mode "chengwen min/med/max" "iconv min/med/max" ratio paired \
  "ours MB" "iconv MB"
status=0
for job in "prose.gb18030 GB18030 UTF-8" "prose.utf8 UTF-8 GB18030" "prose.utf8 UTF-8 UTF-16LE" \
           "poetry.gb18030 GB18030 UTF-8" "poetry.utf8 UTF-8 GB18030" "poetry.utf8 UTF-8 UTF-16LE" \
           "tw.big5 BIG5 UTF-8" "poetry.big5 BIG5 UTF-8"; do
  set -- $job
  input="$corpus/$1" from=$2 to=$3
  if ! cmp -s <("$cli" transcode "$from" "$to" <"$input") <(iconv -f "$from" -t "$to" <"$input"); then
    echo "$1 $from -> $to: output differs from iconv's" >&2
    status=1
  fi
  mb=$(echo "$(stat -c %s "$input") / 1048576" | bc -l)
  for mode in stdio file; do
    # The input is read through once before every run: this host's memory manager gives
    # cached pages back when they have not been touched for a while, and a run that found
    # half its input on disk would measure the disk.
    warm=(--setup "cat $(printf %q "$input") >/dev/null")
    if [ $mode = stdio ]; then
      lines=$(python3 "$here/bench/timed.py" "$runs" "${warm[@]}" --stdin "$input" -- "$cli" transcode "$from" "$to" \
        --- "${warm[@]}" --stdin "$input" -- iconv -f "$from" -t "$to")
    else
      lines=$(python3 "$here/bench/timed.py" "$runs" "${warm[@]}" --fresh "$work/out" -- \
        "$cli" transcode "$from" "$to" "$input" "$work/out" \
        --- "${warm[@]}" --fresh "$work/out" -- iconv -f "$from" -t "$to" -o "$work/out" "$input")
    fi
    ours=$(echo "$lines" | sed -n 1p | rates "$mb"); ours_kb=$(echo "$lines" | sed -n 1p | cut -d' ' -f7)
    theirs=$(echo "$lines" | sed -n 2p | rates "$mb"); theirs_kb=$(echo "$lines" | sed -n 2p | cut -d' ' -f7)
    ratio=$(echo "$(echo "$ours" | cut -d' ' -f2) / $(echo "$theirs" | cut -d' ' -f2)" | bc -l)
    paired=$(echo "$lines" | sed -n 2p | cut -d' ' -f8)
    printf '%-34s %-6s %-20s %-20s %6.2f %6.2f %9.1f %9.1f\n' "$1 $from->$to" $mode "${ours// //}" "${theirs// //}" \
      "$ratio" "$paired" "$(echo "$ours_kb / 1024" | bc -l)" "$(echo "$theirs_kb / 1024" | bc -l)"
  done
done
exit $status
