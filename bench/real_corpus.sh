#!/usr/bin/env bash
# Builds (once) the real-text corpus of the benchmarks under build/corpus/, from Debian's
# Chinese documentation packages, fetched with `apt-get download` (nothing is installed):
#   prose.utf8   the Debian Reference (Simplified) as plain text and the "chinese" fortunes
#   poetry.utf8  Tang and Song poems from fortunes-zh: short lines, colour codes removed
#   tw.utf8      the Debian Reference (Traditional), for Big5
# each repeated to about SIZE MB (default 22) and converted with iconv to GB18030 (.gb18030),
# UTF-16LE (.utf16le) and, for tw, BIG5 (.big5; characters Big5 lacks dropped by iconv -c).
# Prints the folder. usage: bench/real_corpus.sh [SIZE_MB]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_mb="${1:-22}"
dir="$here/build/corpus"
stamp="$dir/.built-$size_mb"
if [ -f "$stamp" ]; then echo "$dir"; exit 0; fi
mkdir -p "$dir/debs"
pkgs=(fortunes-zh debian-reference-zh-cn debian-reference-zh-tw)
(
  cd "$dir/debs"
  for p in "${pkgs[@]}"; do
    ls "$p"_*.deb >/dev/null 2>&1 && continue
    apt-get download "$p" >/dev/null 2>&1 || { apt-get update -qq && apt-get download "$p" >/dev/null; }
  done
  for d in *.deb; do dpkg-deb -x "$d" "$dir/x"; done
) >&2
share="$dir/x/usr/share"
python3 - "$share" "$dir" "$size_mb" <<'PY'
import gzip, os, re, sys
share, out, size = sys.argv[1], sys.argv[2], int(float(sys.argv[3]) * 1024 * 1024)

def fortunes(name):
    with open(os.path.join(share, "games", "fortunes", name), encoding="utf-8", errors="replace") as f:
        text = f.read()
    text = re.sub(r"\x1b\[[0-9;]*m", "", text)      # the colour codes around titles
    return text.replace("\ufffd", "")

def reference(lang):
    with gzip.open(os.path.join(share, "debian-reference", "debian-reference.%s.txt.gz" % lang), "rt",
                   encoding="utf-8") as f:
        return f.read()

def write(name, seed):
    data = seed.encode("utf-8")
    with open(os.path.join(out, name), "wb") as f:
        written = 0
        while written < size:
            f.write(data)
            written += len(data)

write("prose.utf8", reference("zh-cn") + fortunes("chinese"))
write("poetry.utf8", fortunes("tang300") + fortunes("song100"))
write("tw.utf8", reference("zh-tw"))
PY
for name in prose poetry tw; do
  iconv -f UTF-8 -t GB18030 "$dir/$name.utf8" >"$dir/$name.gb18030"
  iconv -f UTF-8 -t UTF-16LE "$dir/$name.utf8" >"$dir/$name.utf16le"
done
iconv -c -f UTF-8 -t BIG5 "$dir/tw.utf8" >"$dir/tw.big5" 2>/dev/null || true
iconv -c -f UTF-8 -t BIG5 "$dir/poetry.utf8" >"$dir/poetry.big5" 2>/dev/null || true
touch "$stamp"
echo "$dir"
