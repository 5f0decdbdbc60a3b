#!/usr/bin/env bash
# Builds chengwen.exe and starts it under Wine. Without a display it runs on a virtual
# one, saves a screenshot of the window to build/screenshot.png and closes it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
jobs="${CW_JOBS:-$(nproc 2>/dev/null || echo 2)}"

bash scripts/setup.sh
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j "$jobs" --target chengwen
exe="$here/build/win32/bin/chengwen.exe"

if [ -n "${DISPLAY:-}" ]; then
  exec scripts/wine-run.sh "$exe"
fi

# No display: a virtual one, a screenshot once the window is up, then a polite close.
shot="$here/build/screenshot.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  "$1/scripts/wine-run.sh" "$2" &
  app=$!
  for i in $(seq 1 60); do
    sleep 1
    if xwininfo -root -tree 2>/dev/null | grep -q "v1.6.0.0"; then break; fi
  done
  sleep 2
  import -window root "$3" 2>/dev/null || xwd -root -silent | convert xwd:- "$3"
  # Ask the window to close as a user would (WM_CLOSE), then wait for the program.
  "$1/scripts/wine-run.sh" "$1/build/win32/bin/closewindow.exe" 2>/dev/null || kill $app 2>/dev/null
  wait $app 2>/dev/null || true
' _ "$here" "$exe" "$shot"
echo "screenshot saved to $shot"
