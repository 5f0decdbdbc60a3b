#!/usr/bin/env bash
# Readies a Wine prefix for showing the window on a virtual display: without a window
# manager Wine draws the title bar itself, and its caption fonts get the CJK font as a
# fallback so that Chinese titles read. Then the prefix's server is stopped: a program must
# meet a server of its own on the virtual display, or its window never reaches X.
#   scripts/wine-window-setup.sh TREE      (win32 or win64, as scripts/wine-arch.sh says)
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine=("$here/scripts/wine-run.sh" "--$1")
"${wine[@]}" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f >/dev/null 2>&1 || true
for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
  "${wine[@]}" reg add "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink" \
    /v "$face" /t REG_MULTI_SZ /d "wqy-zenhei.ttc,WenQuanYi Zen Hei" /f >/dev/null 2>&1 || true
done
"${wine[@]}" wineserver -w
