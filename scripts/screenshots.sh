#!/usr/bin/env bash
# Takes the README's screenshots: runs the window's screenshot cases (app_tests, disabled
# in normal runs) under Wine on a virtual display and turns their images into PNG files
# under docs/. Needs the Windows tree that scripts/wine-arch.sh names, built.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
tree="$(bash scripts/wine-arch.sh)"
out="$here/build/screenshots"
rm -rf "$out"
mkdir -p "$out"
wine=(scripts/wine-run.sh "--$tree")
# As scripts/run.sh: Wine draws the title bar itself, with the CJK font as a fallback.
"${wine[@]}" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f >/dev/null 2>&1 || true
for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
  "${wine[@]}" reg add "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink" \
    /v "$face" /t REG_MULTI_SZ /d "wqy-zenhei.ttc,WenQuanYi Zen Hei" /f >/dev/null 2>&1 || true
done
"${wine[@]}" wineserver -w
CW_SCREENSHOTS="Z:${out//\//\\}" xvfb-run -a -s "-screen 0 1024x768x24" \
  "${wine[@]}" "build/$tree/bin/app_tests.exe" --gtest_also_run_disabled_tests --gtest_filter='Screenshots.*'
for image in "$out"/*.bmp; do
  convert "$image" "docs/$(basename "$image" .bmp).png"
  echo "docs/$(basename "$image" .bmp).png"
done
