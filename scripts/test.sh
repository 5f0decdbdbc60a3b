#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test: native (plain and
# with ASan/UBSan) and Windows (under Wine, headless). Exits non-zero on any failure.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
jobs="${CW_JOBS:-$(nproc 2>/dev/null || echo 2)}"
mkdir -p build/logs
failed=()

step() { printf '\n== %s ==\n' "$*"; }
# check NAME COMMAND...: runs the command, keeps its output in build/logs/NAME.log and
# shows the tail (where the test runners print their summaries).
check() {
  local name="$1"; shift
  "$@" >"build/logs/$name.log" 2>&1
  local rc=$?
  tail -n "${CW_TAIL:-25}" "build/logs/$name.log"
  if [ $rc -ne 0 ]; then
    echo "FAILED: $name (exit $rc, full log in build/logs/$name.log)"
    failed+=("$name")
  fi
  return $rc
}

step "setup"
bash scripts/setup.sh || exit 1

# Real-world CJK samples for the detection tests: the files of Python's own test suite.
if [ -z "${CW_CJKENCODINGS:-}" ]; then
  corpus="$(python3 -c 'import test,os;print(os.path.dirname(test.__file__))' 2>/dev/null)/cjkencodings"
  [ -f "$corpus/gbk.txt" ] && export CW_CJKENCODINGS="$corpus"
fi

step "generated tables are up to date"
for gen in tools/gen_*.py; do
  [ -f "$gen" ] || continue
  check "$(basename "$gen" .py)-check" python3 "$gen" --check
done

step "native build and tests"
if check native-configure cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
   check native-build cmake --build build/native -j "$jobs"; then
  check native-tests ctest --test-dir build/native -j "$jobs" --output-on-failure
fi

step "sanitized build and tests (ASan+UBSan)"
if check asan-configure cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DCW_SANITIZE=ON -DCW_BENCH=OFF &&
   check asan-build cmake --build build/asan -j "$jobs"; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    check asan-tests ctest --test-dir build/asan -j "$jobs" --output-on-failure
fi

step "Windows build (MinGW-w64 i686) and tests (Wine, Xvfb)"
if check win32-configure cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release &&
   check win32-build cmake --build build/win32 -j "$jobs"; then
  check win32-tests xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir build/win32 --output-on-failure
fi

step "result"
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed steps: ${failed[*]}"
  exit 1
fi
echo "every step passed"
