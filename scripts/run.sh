#!/usr/bin/env bash
# Builds chengwen.exe and starts it under Wine: the 32-bit program where this host runs
# 32-bit code, else the 64-bit one under wine64 (CW_NO_32BIT=1 forces the second). Without
# a display it runs on a virtual one, saves a screenshot of the window to
# build/screenshot.png and closes it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
jobs="${CW_JOBS:-$(nproc 2>/dev/null || echo 2)}"

bash scripts/setup.sh
# The small probe of each tree first: it tells which Wine runs here.
for t in "win32 mingw-i686" "win64 mingw-x86_64"; do
  set -- $t
  cmake -S . -B "build/$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$2.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "build/$1" -j "$jobs" --target winprobe >/dev/null
done
tree="$(bash scripts/wine-arch.sh)"
cmake --build "build/$tree" -j "$jobs" --target chengwen closewindow
exe="$here/build/$tree/bin/chengwen.exe"
wine=(scripts/wine-run.sh "--$tree")

if [ -n "${DISPLAY:-}" ]; then
  exec "${wine[@]}" "$exe"
fi

# No display: a virtual one, a screenshot once the window is up, then a polite close.
shot="$here/build/screenshot.png"
# A first run: no settings file yet (an earlier one is kept aside as .previous). The
# close leaves the first-run save in it.
settings="$(dirname "$exe")/青禾·澄文坊.ini"
if [ -f "$settings" ]; then mv -f "$settings" "$settings.previous"; fi
bash scripts/wine-window-setup.sh "$tree"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  "$1/scripts/wine-run.sh" "--$4" "$2" &
  app=$!
  window=""
  for i in $(seq 1 60); do
    sleep 1
    window=$(xwininfo -root -tree 2>/dev/null | grep "v1.6.0.0" | awk "{print \$1}" | head -n 1)
    if [ -n "$window" ]; then break; fi
  done
  sleep 2
  # The window alone when it was found, else the whole screen.
  import -window "${window:-root}" "$3" 2>/dev/null || xwd -root -silent | convert xwd:- "$3"
  # Ask the window to close as a user would (WM_CLOSE), then wait for the program.
  "$1/scripts/wine-run.sh" "--$4" "$1/build/$4/bin/closewindow.exe" 2>/dev/null || kill $app 2>/dev/null
  wait $app 2>/dev/null || true
' _ "$here" "$exe" "$shot" "$tree"
echo "screenshot saved to $shot"
if [ -f "$settings" ]; then
  echo "settings file: $(tr -cd '\n' <"$settings" | wc -c | awk '{print $1 + 1}') lines in $settings"
else
  echo "settings file missing: $settings" >&2
  exit 1
fi
