#!/usr/bin/env bash
# Formats the C++ sources in the style of .clang-format (generated tables are left as the
# generators write them). With --check it changes nothing and fails on any difference.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -v '/generated/')
if [ "${1:-}" = "--check" ]; then
  clang-format --dry-run --Werror "${files[@]}"
  echo "format: ${#files[@]} files follow .clang-format"
else
  clang-format -i "${files[@]}"
fi
