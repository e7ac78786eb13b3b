#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Keeps every C++ source of the tree as the project's .clang-format has it.
#   bash scripts/format.sh           formats the files that differ, in place
#   bash scripts/format.sh --check   names the files that differ and fails if there are any
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: bash scripts/format.sh [--check]" >&2; exit 1 ;;
esac

bash scripts/deps.sh clang-format

differ=()
while IFS= read -r -d '' file; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    differ+=("$file")
  fi
done < <(git ls-files -z -- '*.cpp' '*.h')

if ((${#differ[@]} == 0)); then
  echo "Every C++ source is formatted."
  exit 0
fi
if ((check)); then
  printf 'Not formatted (bash scripts/format.sh formats them):\n' >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
clang-format -i "${differ[@]}"
printf 'Formatted: %s\n' "${differ[@]}"
