#!/usr/bin/env bash
# The window's batch against the disk: COUNT files (default 10,000) of 2 KB of real text
# (pieces of ../shared/data/corpora/zh-corpus.txt.xz, in GBK), converted GBK -> UTF-8 into
# the output folder by the real main window of the 32-bit build, shown on a virtual
# display under Wine (tests/app/window_batch_bench_test.cpp: the folder button clicked
# with the folder as the browser's answer), against Wine's own `xcopy` of the same files
# (cmd /c xcopy /E /I /Q) and `chengwen-cli batch` natively. The sides run in turn, one
# run of each per round, RUNS rounds (default 3), each timed as a whole process (the Wine
# ones each a Wine process started while the prefix's server runs), the window's also
# as the click alone (its run, without Wine starting the test program and the window);
# prints min/median/max seconds and the ratios of the medians to xcopy's.
# usage: bench/window_batch.sh [COUNT] [RUNS]
# CW_CORPORA names the corpora folder (default ../shared/data/corpora beside the repo).
# CW_WIN32_TREE (default build/win32) holds app_tests.exe (or CW_APP_TESTS names it);
# CW_NATIVE_CLI the native chengwen-cli (default build/native/bin/chengwen-cli; left out
# when missing). CW_BENCH_KEEP=1 keeps the work folder.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
count="${1:-10000}"
runs="${2:-3}"
tree="${CW_WIN32_TREE:-$here/build/win32}"
cli="${CW_NATIVE_CLI:-$here/build/native/bin/chengwen-cli}"
tests="${CW_APP_TESTS:-$tree/bin/app_tests.exe}"
# CW_APP_TESTS_BEFORE: another build's app_tests.exe, timed as one more side ("before").
before="${CW_APP_TESTS_BEFORE:-}"
[ -f "$tests" ] || { echo "no $tests: build app_tests in the 32-bit tree first" >&2; exit 1; }
python="$(python3 -c 'import sys; print(sys.executable)')"
work="$(mktemp -d -p "${CW_BENCH_DIR:-$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp)}")"
trap '[ -n "${CW_BENCH_KEEP:-}" ] || rm -rf "$work"' EXIT
corpus="${CW_CORPORA:-$here/../shared/data/corpora}/zh-corpus.txt.xz"
xz -dc "$corpus" >"$work/corpus.utf8"
src="$work/src"
"$python" "$here/bench/batch_bench.py" cut "$src" "$count" 2048 "$work/corpus.utf8"
rm -f "$work/corpus.utf8"
winsrc="Z:$(echo "$src" | tr / '\\')"
out="$src(已转换)"
xout="$work/xcopy"

export CW_WINEPREFIX="${CW_WINEPREFIX:-$here/build/wineprefix}"
export CW_BENCH_FOLDER="$winsrc" CW_BENCH_LOG="Z:$(echo "$work/window.log" | tr / '\\')"
# Everything inside one virtual display, with the prefix's server started on it and kept
# up between runs, so that every Wine side pays the same start.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  here="$1" runs="$2" tests="$3" src="$4" winsrc="$5" out="$6" xout="$7" cli="$8" times="$9" winxout="${10}" before="${11}"
  wine=("$here/scripts/wine-run.sh" --win32)
  "${wine[@]}" wineserver -k 2>/dev/null || true
  "${wine[@]}" wineserver -w
  "${wine[@]}" wineserver -p 60
  "${wine[@]}" cmd /c echo >/dev/null 2>&1
  # side NAME COMMAND...: one timed run, the clean output folders removed first.
  side() {
    local name="$1"; shift
    rm -rf "$out" "$xout"
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || echo "$name: exit status $?" >&2
    t1=$(date +%s.%N)
    echo "$name $(echo "$t1 - $t0" | bc -l)" >>"$times"
  }
  for round in $(seq 1 "$runs"); do
    side xcopy "${wine[@]}" cmd /c xcopy /E /I /Q "$winsrc" "$winxout"
    [ -x "$cli" ] && side cli "$cli" batch --jobs 1 --in ansi --out utf8 --no-bom "$src"
    side window "${wine[@]}" "$tests" --gtest_also_run_disabled_tests --gtest_filter=WindowBatchBench.DISABLED_Folder
    if [ -n "$before" ]; then
      side before "${wine[@]}" "$before" --gtest_also_run_disabled_tests --gtest_filter=WindowBatchBench.DISABLED_Folder
    fi
  done
  "${wine[@]}" wineserver -k 2>/dev/null || true
' _ "$here" "$runs" "$tests" "$src" "$winsrc" "$out" "$work/xcopy" "$cli" "$work/times" "Z:$(echo "$work/xcopy" | tr / '\\')" "$before"

cat "$work/window.log"
"$python" - "$work/times" "$work/window.log" <<'PY'
import statistics, sys
times = {}
for line in open(sys.argv[1]):
    name, seconds = line.split()
    times.setdefault(name, []).append(float(seconds))
# The click alone (the run inside the window, without Wine starting the program), of the
# window's side (the before side's lines come after it in each round).
clicks = [float(line.split()[2]) for line in open(sys.argv[2]) if line.startswith("window batch:")]
if clicks:
    times["click"] = clicks[0::2] if "before" in times else clicks
xcopy = statistics.median(times["xcopy"])
labels = {"xcopy": "xcopy (Wine)", "window": "window (Wine)", "click": "window, the click alone",
          "before": "window before (Wine)",
          "cli": "chengwen-cli batch (native)"}
print("%-30s %8s %8s %8s %8s" % ("side", "min", "median", "max", "/xcopy"))
for name in ("xcopy", "window", "click", "before", "cli"):
    if name in times:
        t = times[name]
        print("%-30s %8.2f %8.2f %8.2f %7.2fx" % (labels[name], min(t), statistics.median(t), max(t),
                                                  statistics.median(t) / xcopy))
PY
echo "($count files of 2 KB, GBK -> UTF-8, $runs rounds; host load $(cut -d' ' -f1-3 /proc/loadavg))"
# The outputs are what a conversion gives.
[ "$(find "$out" -type f | wc -l)" -eq "$count" ] || { echo "the window left $(find "$out" -type f | wc -l) files, not $count" >&2; exit 1; }
first="$(cd "$src" && printf '%s\n' * | sed -n 1p)"
# (the window writes UTF-8 with its mark by default)
iconv -f GBK -t UTF-8 "$src/$first" | cmp -s - <(tail -c +4 "$out/$first") || { echo "$first: the window's output differs" >&2; exit 1; }

