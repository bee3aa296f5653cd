#!/usr/bin/env bash
# Applies .clang-format to every C++ file of the tree; with --check, lists the files it would
# change and fails when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || scripts/setup.sh
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  status=0
  for f in "${files[@]}"; do
    clang-format "$f" | cmp -s - "$f" || { echo "$f"; status=1; }
  done
  exit "$status"
fi
clang-format -i "${files[@]}"
