#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Keeps every C++ source of the tree as the project's .clang-format has it, and checks that
# every source (C++, CMake, shell, Python) names its licence at its head.
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

# The licence line: the first line of a C++ or CMake source, the first after the shebang of
# a script (a file that starts with #! is a script, whatever its name).
spdx="SPDX-License-Identifier: GPL-2.0-or-later"
unlicensed=()
while IFS= read -r -d '' file; do
  first="$(head -n 1 "$file")"
  head_line="$first"
  if [[ "$first" == '#!'* ]]; then head_line="$(sed -n 2p "$file")"; fi
  case "$file" in
    *.cpp | *.h) want="// $spdx" ;;
    *) want="# $spdx" ;;
  esac
  [ "$head_line" = "$want" ] || unlicensed+=("$file")
done < <(git ls-files -z -- '*.cpp' '*.h' '*.cmake' 'CMakeLists.txt' '*/CMakeLists.txt' '*.sh' \
           '*.py')
# Scripts without an extension (.ci/run, bench/run) are found by their shebang.
while IFS= read -r -d '' file; do
  case "$file" in *.cpp | *.h | *.cmake | *CMakeLists.txt | *.sh | *.py) continue ;; esac
  [ -f "$file" ] || continue
  [ "$(head -c 2 "$file")" = '#!' ] || continue
  [ "$(sed -n 2p "$file")" = "# $spdx" ] || unlicensed+=("$file")
done < <(git ls-files -z -- ':!:fuzz/corpus/*' ':!:*.png')
if ((${#unlicensed[@]})); then
  printf 'No "%s" line at the head (after the shebang of a script):\n' "$spdx" >&2
  printf '  %s\n' "${unlicensed[@]}" >&2
  exit 1
fi

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
