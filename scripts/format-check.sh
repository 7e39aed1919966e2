#!/usr/bin/env bash
# Fails when a tracked C or C++ source differs from what clang-format makes of
# it (.clang-format at the root). With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
# Debian 12's clang-format; another version may format a few lines otherwise.
format=$(command -v clang-format-14 || command -v clang-format) || {
  echo "format-check.sh: clang-format is not installed" >&2
  exit 2
}
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files -- '*.c' '*.cpp' '*.h')
else # a copy without its history: every source outside the build trees
  mapfile -t sources < <(find . -path './build*' -prune -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
if ((${#sources[@]} == 0)); then
  echo "format-check.sh: no sources found" >&2
  exit 2
fi
if [[ ${1:-} == --fix ]]; then
  "$format" -i "${sources[@]}"
  exit 0
fi
if ! "$format" --dry-run -Werror "${sources[@]}"; then
  echo "format-check.sh: the files above are not formatted: bash scripts/format-check.sh --fix" >&2
  exit 1
fi
echo "format-check.sh: ${#sources[@]} files formatted"
