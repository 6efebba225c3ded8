#!/usr/bin/env bash
# Fails when a C or C++ source of ours differs from what clang-format makes of
# it (.clang-format at the top). Third-party code is left as it came.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
if git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  list() { git ls-files -- '*.c' '*.cpp' '*.h'; }
else
  list() { find . -path ./build -prune -o -path ./.deps -prune -o \
    \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||'; }
fi
files=$(list | grep -v '/third_party\.c$' || true)
[ -n "$files" ] || { echo "check-format: no sources found" >&2; exit 1; }
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
echo "check-format: $(wc -w <<< "$files") files formatted"
