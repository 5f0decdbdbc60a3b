#!/usr/bin/env bash
# Times `chengwen-cli transcode` against iconv(1) on a large Chinese text, whole process
# against whole process: UTF-8 -> GB18030, GB18030 -> UTF-8 and GB18030 -> UTF-16LE.
# Prints MB/s (of input) for each, best of 3, and the ratio ours/iconv.
# usage: bench/transcode_vs_iconv.sh [path/to/chengwen-cli] [size in MB, default 40]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$here/build/native/bin/chengwen-cli}"
size_mb="${2:-40}"
[ -x "$cli" ] || { echo "chengwen-cli not found at $cli (pass its path)" >&2; exit 2; }
command -v iconv >/dev/null || { echo "iconv(1) is not installed" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The text: the characters of the OpenCC tables in lines of 40, with Chinese punctuation,
# some ASCII and CRLF, repeated up to the size.
opencc="$here/third_party/data/opencc"
[ -d "$opencc" ] || opencc=/work/shared/data/opencc
python3 - "$opencc" "$size_mb" "$work/text.utf8" <<'EOF'
import glob, os, sys
folder, size, out = sys.argv[1], int(float(sys.argv[2]) * 1024 * 1024), sys.argv[3]
chars = []
for path in sorted(glob.glob(os.path.join(folder, "*.txt"))):
    with open(path, encoding="utf-8") as f:
        for line in f:
            for ch in line:
                if "\u4e00" <= ch <= "\u9fff":
                    chars.append(ch)
if not chars:
    chars = [chr(c) for c in range(0x4E00, 0x9FA6)]
lines = []
for i in range(0, len(chars), 40):
    lines.append("".join(chars[i:i + 20]) + "，" + "".join(chars[i + 20:i + 40]) + "。line %d\r\n" % i)
block = "".join(lines).encode("utf-8")
with open(out, "wb") as f:
    written = 0
    while written < size:
        f.write(block)
        written += len(block)
EOF
"$cli" transcode UTF-8 GB18030 <"$work/text.utf8" >"$work/text.gb18030"

# Best wall time of three runs, in seconds.
best_of_3() {
  local best="" start end t
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

printf '%-20s %10s %10s %12s %8s\n' direction "size MB" "ours MB/s" "iconv MB/s" ratio
status=0
for pair in "UTF-8 GB18030 text.utf8" "GB18030 UTF-8 text.gb18030" "GB18030 UTF-16LE text.gb18030"; do
  set -- $pair
  from=$1 to=$2 input="$work/$3"
  # Both must agree on the bytes before their speed means anything.
  if ! cmp -s <("$cli" transcode "$from" "$to" <"$input") <(iconv -f "$from" -t "$to" <"$input"); then
    echo "$from -> $to: output differs from iconv's" >&2
    status=1
  fi
  mb=$(echo "$(stat -c %s "$input") / 1048576" | bc -l)
  ours=$(best_of_3 sh -c '"$0" transcode "$1" "$2" <"$3"' "$cli" "$from" "$to" "$input")
  theirs=$(best_of_3 sh -c 'iconv -f "$0" -t "$1" <"$2"' "$from" "$to" "$input")
  printf '%-20s %10.1f %10.1f %12.1f %8.2f\n' "$from->$to" "$mb" "$(echo "$mb / $ours" | bc -l)" \
    "$(echo "$mb / $theirs" | bc -l)" "$(echo "$theirs / $ours" | bc -l)"
done
exit $status
