#!/usr/bin/env bash
# `chengwen-cli convert` of one large file of real prose (bench/real_corpus.sh), detection
# included, against iconv on the same file, in one run:
#   direct   GB18030 (detected) -> UTF-8, nothing else changed
#   working  the same with s2t and Unix line endings (the working text is needed whole;
#            iconv only transcodes, so its ratio is a reference, not a like-for-like race)
#   gzip     a gzipped GB18030 file (its text under the 256 MiB decompression cap)
#            -> UTF-8, against zcat | iconv
# Each figure is the min/median/max of RUNS runs (default 5, one of each command in turn)
# in MB/s of the text; the ratio is of the medians. Peak resident memory (bench/timed.py) is shown in MB and as a multiple
# of the text's size.
# usage: bench/convert_large.sh [path/to/chengwen-cli] [RUNS] [COPIES of prose, default 14]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$here/build/native/bin/chengwen-cli}"
runs="${2:-5}"
copies="${3:-14}"
[ -x "$cli" ] || { echo "chengwen-cli not found at $cli (pass its path)" >&2; exit 2; }
corpus="$(bash "$here/bench/real_corpus.sh")"
work="$(mktemp -d "$here/build/convert-large.XXXXXX")"
trap 'rm -rf "$work"' EXIT

big="$work/prose.gb18030"
for _ in $(seq "$copies"); do cat "$corpus/prose.gb18030"; done >"$big"
# The gzip case stays under the cap: as many copies as fit in 240 MiB of text.
prose_size=$(stat -c %s "$corpus/prose.gb18030")
gz_copies=$(( (240 * 1048576) / prose_size ))
[ "$gz_copies" -gt "$copies" ] && gz_copies=$copies
for _ in $(seq "$gz_copies"); do cat "$corpus/prose.gb18030"; done | gzip -1 >"$work/prose.gb18030.gz"
size=$(stat -c %s "$big")
gz_size=$(( gz_copies * prose_size ))


# timed GROUPS...: bench/timed.py over the groups, one run of each in turn, $work/out
# removed before each run; the lines go to $work/timed.
timed() { python3 "$here/bench/timed.py" "$runs" "$@" >"$work/timed"; }
# stats BYTES N: of line N of $work/timed, prints "min median max" MB/s of BYTES by the
# clock, writes the same per second of processor time (user + system, which a machine busy
# with other work disturbs less) to $work/cpu and the peak resident size (KB) to $work/peak.
stats() {
  local mb
  mb=$(echo "$1 / 1048576" | bc -l)
  set -- $(sed -n "$2p" "$work/timed")
  echo "$7" >"$work/peak"
  echo "$8" >"$work/paired"
  awk -v mb="$mb" -v a="$6" -v b="$5" -v c="$4" 'BEGIN {printf "%.0f %.0f %.0f", mb / a, mb / b, mb / c}' >"$work/cpu"
  awk -v mb="$mb" -v a="$3" -v b="$2" -v c="$1" 'BEGIN {printf "%.0f %.0f %.0f", mb / a, mb / b, mb / c}'
}

status=0
same() { cmp -s "$1" "$2" || { echo "$3: output differs from the reference" >&2; status=1; }; }

"$cli" convert --out utf8 --no-bom "$big" "$work/ours" >/dev/null
iconv -f GB18030 -t UTF-8 "$big" >"$work/theirs"
same "$work/ours" "$work/theirs" direct
"$cli" convert --out utf8 --no-bom "$work/prose.gb18030.gz" "$work/ours" >/dev/null
gzip -dc "$work/prose.gb18030.gz" | iconv -f GB18030 -t UTF-8 >"$work/theirs"
same "$work/ours" "$work/theirs" gzip
rm -f "$work/ours" "$work/theirs"

echo "text: $(echo "$size / 1048576" | bc) MiB of prose ($copies copies), gzip case $(echo "$gz_size / 1048576" | bc) MiB; $runs runs; load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "MB/s by the clock, then per second of processor time (user + system); ratios of the medians"
printf '%-8s %-16s %-16s %6s %-16s %-16s %6s %8s %7s %8s\n' case "ours clock" "other clock" ratio \
  "ours cpu" "other cpu" ratio "ours MB" "x size" "other MB"
ratio() { echo "$(echo "$1" | cut -d' ' -f2) / $(echo "$2" | cut -d' ' -f2)" | bc -l; }
row() {  # name bytes ours theirs ours_kb theirs_kb ours_cpu theirs_cpu
  printf '%-8s %-16s %-16s %6.2f %-16s %-16s %6.2f %8.1f %7.2f %8.1f\n' "$1" "${3// //}" "${4// //}" \
    "$(ratio "$3" "$4")" "${7// //}" "${8// //}" "$(ratio "$7" "$8")" \
    "$(echo "$5 / 1024" | bc -l)" "$(echo "$5 * 1024 / $2" | bc -l)" "$(echo "$6 / 1024" | bc -l)"
}

out=(--fresh "$work/out" --)
timed "${out[@]}" "$cli" convert --out utf8 --no-bom "$big" "$work/out" \
  --- "${out[@]}" iconv -f GB18030 -t UTF-8 -o "$work/out" "$big" \
  --- "${out[@]}" "$cli" convert --script s2t --eol unix --out utf8 --no-bom "$big" "$work/out"
ours=$(stats "$size" 1); ours_kb=$(cat "$work/peak"); ours_cpu=$(cat "$work/cpu")
theirs=$(stats "$size" 2); theirs_kb=$(cat "$work/peak"); theirs_cpu=$(cat "$work/cpu")
row direct "$size" "$ours" "$theirs" "$ours_kb" "$theirs_kb" "$ours_cpu" "$theirs_cpu"
direct_paired=$(cat "$work/paired")
ours=$(stats "$size" 3)
row working "$size" "$ours" "$theirs" "$(cat "$work/peak")" "$theirs_kb" "$(cat "$work/cpu")" "$theirs_cpu"

timed "${out[@]}" "$cli" convert --out utf8 --no-bom "$work/prose.gb18030.gz" "$work/out" \
  --- "${out[@]}" sh -c 'gzip -dc "$0" | iconv -f GB18030 -t UTF-8 -o "$1"' "$work/prose.gb18030.gz" "$work/out"
ours=$(stats "$gz_size" 1); ours_kb=$(cat "$work/peak"); ours_cpu=$(cat "$work/cpu")
theirs=$(stats "$gz_size" 2)
row gzip "$gz_size" "$ours" "$theirs" "$ours_kb" "$(cat "$work/peak")" "$ours_cpu" "$(cat "$work/cpu")"
printf 'paired (median of the rounds, their time over ours): direct %.2f, gzip %.2f\n' "$direct_paired" "$(cat "$work/paired")"
exit $status
