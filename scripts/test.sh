#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, configures, builds and runs every test.
#   scripts/test.sh              normal build in build/
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --windows    Windows build in build-windows/, tests and a Program run under wine
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--windows" ]; then
  exec bash scripts/windows.sh
fi

build=build
# A warning fails the build here: the suite runs only on code that compiles clean.
flags=(-DTAVRINO_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  flags+=(-DTAVRINO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi

bash scripts/deps.sh
cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
