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
for attempt in 1 2 3; do
  apt-get update -qq && break
  echo "setup: apt-get update failed (attempt $attempt); trying again" >&2
  sleep $((attempt * 10))
done
for attempt in 1 2 3; do
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null && exit 0
  echo "setup: apt-get install failed (attempt $attempt)" >&2
  sleep $((attempt * 10))
  apt-get update -qq || true
done
exit 1
