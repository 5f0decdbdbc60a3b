#!/usr/bin/env bash
# Installs what building and testing chengwen needs on Debian; does nothing when all is there.
set -euo pipefail

pkgs=(cmake g++ clang clang-tidy clang-format make python3 libgtest-dev libbenchmark-dev zlib1g-dev
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 wine32:i386 xvfb xauth
      fonts-wqy-zenhei x11-apps imagemagick python3-html5lib libxml2-utils uchardet enca python3-chardet zip unzip opencc strace)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]}" >&2
  echo "setup: run this script as root (or install them with apt-get) and try again" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# A mirror caught in the middle of a sync fails the update now and then: it is tried
# again, and an install from the lists that did arrive is tried all the same.
update() {
  for attempt in 1 2 3; do
    apt-get update -qq && return 0
    echo "setup: apt-get update failed (attempt $attempt); trying again" >&2
    sleep $((attempt * 5))
  done
  return 1
}
install() {
  for attempt in 1 2; do
    apt-get install -y -qq --no-install-recommends "$@" >/dev/null && return 0
    echo "setup: apt-get install $* failed (attempt $attempt)" >&2
    sleep 5
  done
  return 1
}
update || echo "setup: installing from the package lists that did arrive" >&2
# 32-bit Wine is the one package a host may be unable to take (no i386 lists, say): the
# Windows tests then run in the 64-bit tree under wine64, as on hosts that cannot start
# 32-bit programs at all.
rest=()
want32=0
for p in "${missing[@]}"; do
  if [ "$p" = "wine32:i386" ]; then want32=1; else rest+=("$p"); fi
done
if [ ${#rest[@]} -ne 0 ]; then install "${rest[@]}" || exit 1; fi
if [ $want32 -eq 1 ] && ! install wine32:i386; then
  echo "setup: WARNING: wine32:i386 could not be installed; the Windows tests will run under wine64" >&2
fi
exit 0
