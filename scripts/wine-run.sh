#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's own prefix (created once, under
# build/), quietly. Used by CTest as the cross-compiling emulator.
#   wine-run.sh [--win32|--win64] PROGRAM [ARGS...]
# --win32 (the default): 32-bit Wine, prefix build/wineprefix.
# --win64: wine64 alone, prefix build/wineprefix64; it needs no 32-bit code on the host,
#          so it also works where the kernel cannot start i386 programs.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
arch=win32
case "${1:-}" in
  --win32) shift ;;
  --win64) arch=win64; shift ;;
esac
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=$arch
if [ "$arch" = win64 ]; then
  export WINEPREFIX="${CW_WINEPREFIX64:-$here/build/wineprefix64}"
  # Debian's /usr/bin/wine prefers the 32-bit loader whenever it is installed, even for
  # a 64-bit program, so the 64-bit loader is named directly.
  loader=/usr/lib/wine/wine64
  [ -x "$loader" ] || loader="$(command -v wine64 || echo wine64)"
  export WINELOADER="$loader"
else
  export WINEPREFIX="${CW_WINEPREFIX:-$here/build/wineprefix}"
  loader=wine
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$loader" wineboot -i >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
fi
# "wineserver ARGS" talks to this prefix's server (run.sh waits with -w for it to end).
if [ "${1:-}" = wineserver ]; then
  shift
  exec wineserver "$@"
fi
exec "$loader" "$@"
