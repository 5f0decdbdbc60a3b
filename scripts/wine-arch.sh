#!/usr/bin/env bash
# Finds out which Windows tree this host can run under Wine: prints "win32" when 32-bit
# Wine starts build/win32/bin/winprobe.exe, else "win64" when wine64 starts
# build/win64/bin/winprobe.exe, and says why on standard error. Exits 1 when neither can
# start a program. CW_NO_32BIT=1 makes the 32-bit probe fail, as on a host whose kernel
# cannot start i386 programs.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# probe TREE: starts that tree's probe under its Wine; the output on failure is in $why.
probe() {
  local exe="$here/build/$1/bin/winprobe.exe"
  if [ ! -f "$exe" ]; then why="$exe was not built"; return 1; fi
  local out
  out="$(timeout 300 "$here/scripts/wine-run.sh" --"$1" "$exe" 2>&1)"
  if printf '%s' "$out" | grep -q "winprobe .*-bit ok"; then return 0; fi
  why="$(printf '%s' "$out" | grep -v '^$' | tail -n 2 | tr '\n' ' ')"
  [ -n "$why" ] || why="no output"
  return 1
}

why32=""
if [ "${CW_NO_32BIT:-}" = 1 ]; then
  why32="CW_NO_32BIT=1 says this host runs no 32-bit code"
elif [ -x /lib/ld-linux.so.2 ] && ! out32="$(/lib/ld-linux.so.2 --version 2>&1 >/dev/null)"; then
  # The i386 loader itself is a 32-bit program: if the kernel refuses it, so it will Wine.
  why32="the kernel cannot start a 32-bit program (/lib/ld-linux.so.2: ${out32##*: })"
elif probe win32; then
  echo "Windows tests: 32-bit tree under 32-bit Wine (this host runs 32-bit programs)" >&2
  echo win32
  exit 0
else
  why32="32-bit Wine could not start winprobe.exe: $why"
fi

if probe win64; then
  echo "Windows tests: 64-bit tree under wine64, because $why32" >&2
  echo win64
  exit 0
fi
echo "Windows tests cannot run: $why32; and wine64 could not start winprobe.exe either: $why" >&2
echo "(scripts/setup.sh installs wine, wine32:i386 and wine64; check that they are installed)" >&2
exit 1
