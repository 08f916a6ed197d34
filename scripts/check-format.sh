#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what .clang-format makes of it; lists those files.
# Generated tables (*.inc) are left as their generator writes them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
bad=()
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if ((${#bad[@]})); then
  echo "check-format: not formatted (run clang-format -i on them):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
