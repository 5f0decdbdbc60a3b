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
bash scripts/wine-window-setup.sh "$tree"
CW_SCREENSHOTS="Z:${out//\//\\}" xvfb-run -a -s "-screen 0 1024x768x24" \
  "${wine[@]}" "build/$tree/bin/app_tests.exe" --gtest_also_run_disabled_tests --gtest_filter='Screenshots.*'
for image in "$out"/*.bmp; do
  convert "$image" "docs/$(basename "$image" .bmp).png"
  echo "docs/$(basename "$image" .bmp).png"
done
