#!/usr/bin/env bash
# Builds the release: build/release/chengwen-<version>.zip with chengwen.exe and, beside
# it, chengwen-cli.exe (32-bit, the ones to ship, at the top; 64-bit under x64/), the
# README with its pictures, and the licences and notices of the data the tables were
# made from. Prints the zip's listing.
#   CW_JOBS=N  build with N jobs (default 2)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
jobs="${CW_JOBS:-2}"
version="$(sed -n 's/^FILEVERSION \([0-9,]*\).*/\1/p' src/app/main/chengwen.rc | tr , .)"
[ -n "$version" ] || { echo "package: no FILEVERSION in src/app/main/chengwen.rc" >&2; exit 1; }
name="chengwen-$version"
stage="build/release/$name"
rm -rf "$stage" "build/release/$name.zip"
mkdir -p "$stage/x64" "$stage/licences" "$stage/docs"

# place TREE DIR: the tree's programs into DIR of the release.
place() {
  local tree="$1" dir="$2" exe
  for exe in chengwen chengwen-cli; do
    nice -n 10 cmake --build "build/$tree" -j "$jobs" --target "$exe" >/dev/null
    cp "build/$tree/bin/$exe.exe" "$dir/"
    # Every program carries its version and its manifest (long paths; the window also
    # common controls 6 and DPI awareness).
    local needs="longPathAware"
    [ "$exe" = chengwen ] && needs="$needs dpiAware Microsoft.Windows.Common-Controls"
    for needed in $needs; do
      grep -aq "$needed" "$dir/$exe.exe" || { echo "package: $dir/$exe.exe has no manifest ($needed)" >&2; exit 1; }
    done
    LC_ALL=C grep -aq "F.i.l.e.V.e.r.s.i.o.n" "$dir/$exe.exe" ||
      { echo "package: $dir/$exe.exe has no version resource" >&2; exit 1; }
  done
}
for t in "win32 mingw-i686" "win64 mingw-x86_64"; do
  set -- $t
  cmake -S . -B "build/$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$2.cmake" -DCMAKE_BUILD_TYPE=Release -DCW_WERROR=ON >/dev/null
done
place win32 "$stage"
place win64 "$stage/x64"

cp README.md "$stage/"
cp docs/*.png "$stage/docs/" 2>/dev/null || true
for data in third_party/data/*/; do
  for file in LICENSE NOTICE; do
    [ -f "$data$file" ] && cp "$data$file" "$stage/licences/$(basename "$data")-$file.txt"
  done
done
# zlib is linked into the programs.
zlib=/usr/share/doc/libz-mingw-w64-dev/copyright
[ -f "$zlib" ] && cp "$zlib" "$stage/licences/zlib-LICENSE.txt"

(cd build/release && zip -q -r -X "$name.zip" "$name")
unzip -l "build/release/$name.zip"
