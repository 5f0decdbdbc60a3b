#!/usr/bin/env bash
# Installs what is missing, builds every tree (warnings are errors) and runs every test:
# native (plain and with ASan/UBSan, with the fuzz corpora replayed), clang-format and
# clang-tidy, and Windows (under Wine, headless). Both Windows trees are built; the tests
# run in the 32-bit one under 32-bit Wine where this host runs 32-bit code, else in the
# 64-bit one under wine64. Exits non-zero on any failure.
#   CW_NO_32BIT=1  behave as on a host that cannot start 32-bit programs
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
jobs="${CW_JOBS:-$(nproc 2>/dev/null || echo 2)}"
mkdir -p build/logs
failed=()
times=()
started=$(date +%s)
current=""
step_start=0

# Each step's wall time goes into the summary at the end.
close_step() {
  if [ -n "$current" ]; then times+=("$(printf '%6ss  %s' $(($(date +%s) - step_start)) "$current")"); fi
}
step() {
  close_step
  current="$*"
  step_start=$(date +%s)
  printf '\n== %s ==\n' "$*"
}
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
# windows_tree NAME TOOLCHAIN: configures and builds one cross tree.
windows_tree() {
  check "$1-configure" cmake -S . -B "build/$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$2.cmake" -DCMAKE_BUILD_TYPE=Release -DCW_WERROR=ON &&
    check "$1-build" cmake --build "build/$1" -j "$jobs"
}

step "setup"
bash scripts/setup.sh || exit 1

# Real-world CJK samples for the detection tests: the files of Python's own test suite.
if [ -z "${CW_CJKENCODINGS:-}" ]; then
  corpus="$(python3 -c 'import test,os;print(os.path.dirname(test.__file__))' 2>/dev/null)/cjkencodings"
  [ -f "$corpus/gbk.txt" ] && export CW_CJKENCODINGS="$corpus"
fi

# The labelled corpus of real Chinese files that detection is measured on: fetched from
# Debian's packages once and cached under build/ (nothing is installed).
if [ -z "${CW_DETECTION_CORPUS:-}" ]; then
  if python3 tools/fetch_detection_corpus.py build/detection-corpus >build/logs/detection-corpus.log 2>&1; then
    export CW_DETECTION_CORPUS="$here/build/detection-corpus"
    tail -n 3 build/logs/detection-corpus.log
  else
    echo "WARNING: the detection corpus could not be fetched (build/logs/detection-corpus.log);"
    echo "         detection is measured on Python's samples only in this run"
  fi
fi

# Script conversion is measured against OpenCC's own command (installed by setup): here a
# missing opencc fails that test instead of skipping it.
export CW_REQUIRE_OPENCC=1

step "generated tables are up to date"
for gen in tools/gen_*.py; do
  [ -f "$gen" ] || continue
  check "$(basename "$gen" .py)-check" python3 "$gen" --check
done

step "formatting (clang-format, the style of .clang-format)"
check format bash scripts/format.sh --check

step "native build and tests"
if check native-configure cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCW_WERROR=ON &&
   check native-build cmake --build build/native -j "$jobs"; then
  check native-tests ctest --test-dir build/native -j "$jobs" --output-on-failure
fi

step "static checks (clang-tidy over src/, the checks of .clang-tidy)"
if [ -f build/native/compile_commands.json ]; then
  check clang-tidy run-clang-tidy -quiet -p build/native -j "$jobs" "$here/src/"
else
  echo "FAILED: clang-tidy (no compile_commands.json: the native configure failed)"
  failed+=("clang-tidy")
fi

step "sanitized build and tests (ASan+UBSan; the fuzz corpora are replayed here too)"
if check asan-configure cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DCW_SANITIZE=ON -DCW_BENCH=OFF -DCW_WERROR=ON &&
   check asan-build cmake --build build/asan -j "$jobs"; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    check asan-tests ctest --test-dir build/asan -j "$jobs" --output-on-failure
fi

step "Windows build, 32-bit (MinGW-w64 i686)"
windows_tree win32 mingw-i686
step "Windows build, 64-bit (MinGW-w64 x86-64)"
windows_tree win64 mingw-x86_64

step "Windows tests (Wine, Xvfb)"
if tree="$(bash scripts/wine-arch.sh 2>build/logs/wine-arch.log)"; then
  cat build/logs/wine-arch.log
  check "$tree-tests" xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "build/$tree" --output-on-failure
else
  cat build/logs/wine-arch.log
  echo "FAILED: windows-tests (no Wine on this host can start a Windows program)"
  failed+=("windows-tests")
fi

step "result"
close_step
echo "step times:"
printf '%s\n' "${times[@]}"
printf '%6ss  in all\n' $(($(date +%s) - started))
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed steps: ${failed[*]}"
  exit 1
fi
echo "every step passed"
