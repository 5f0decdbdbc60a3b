#!/usr/bin/env bash
# Reading and converting one large file with chengwen-cli, side by side with iconv (and
# zcat, opencc) on the same input in the same run. Prints MB/s and ratios (ours/theirs,
# higher is better for us), best of five runs each.
# usage: bench/convert_vs_iconv.sh [path/to/chengwen-cli] [size in MB, default 32]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$here/build/native/bin/chengwen-cli}"
size="${2:-32}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 "$here/bench/make_text.py" "$size" "$work/zh-utf8.txt"
iconv -f UTF-8 -t GBK "$work/zh-utf8.txt" >"$work/zh-gbk.txt"
gzip -c "$work/zh-gbk.txt" >"$work/zh-gbk.txt.gz"
bytes=$(stat -c %s "$work/zh-utf8.txt")

best() {  # best of five wall-clock seconds of a command
  local bestTime=""
  for _ in 1 2 3 4 5; do
    local start end t
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$bestTime" ] || [ "$(echo "$t < $bestTime" | bc -l)" = 1 ]; then bestTime=$t; fi
  done
  echo "$bestTime"
}
report() {  # name ours theirs other-name
  local mbOurs mbTheirs ratio
  mbOurs=$(echo "$bytes / 1048576 / $2" | bc -l)
  mbTheirs=$(echo "$bytes / 1048576 / $3" | bc -l)
  ratio=$(echo "$3 / $2" | bc -l)
  printf '%-44s chengwen %8.1f MB/s   %-8s %8.1f MB/s   ratio %5.2f\n' "$1" "$mbOurs" "$4" "$mbTheirs" "$ratio"
}

ours=$(best "$cli" convert --out utf16le "$work/zh-utf8.txt" "$work/out-ours.txt")
theirs=$(best sh -c "iconv -f UTF-8 -t UTF-16LE '$work/zh-utf8.txt' >'$work/out-iconv.txt'")
report "UTF-8 (no mark, detected) -> UTF-16LE+mark" "$ours" "$theirs" iconv

ours=$(best "$cli" convert --out utf8 --no-bom "$work/zh-gbk.txt" "$work/out-ours.txt")
theirs=$(best sh -c "iconv -f GBK -t UTF-8 '$work/zh-gbk.txt' >'$work/out-iconv.txt'")
report "GBK (detected) -> UTF-8" "$ours" "$theirs" iconv

ours=$(best "$cli" detect "$work/zh-utf8.txt")
theirs=$(best sh -c "iconv -f UTF-8 -t GB18030 '$work/zh-utf8.txt' >/dev/null")
report "read+detect+decode UTF-8 (LoadDecodedText)" "$ours" "$theirs" iconv

ours=$(best "$cli" convert --out utf8 --no-bom "$work/zh-gbk.txt.gz" "$work/out-ours.txt")
theirs=$(best sh -c "zcat '$work/zh-gbk.txt.gz' | iconv -f GBK -t UTF-8 >'$work/out-iconv.txt'")
report "gzip input GBK -> UTF-8" "$ours" "$theirs" zcat+iconv

if command -v opencc >/dev/null 2>&1; then
  ours=$(best "$cli" convert --script s2t --out utf8 --no-bom "$work/zh-utf8.txt" "$work/out-ours.txt")
  theirs=$(best opencc -c s2t.json -i "$work/zh-utf8.txt" -o "$work/out-opencc.txt")
  report "Simplified -> Traditional (both by phrase)" "$ours" "$theirs" opencc
else
  echo "opencc not installed: Simplified -> Traditional comparison skipped (apt-get install opencc)"
fi
