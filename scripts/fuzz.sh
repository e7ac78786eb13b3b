#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# libFuzzer over the parsers in fuzz/, in a clang build of its own (build-fuzz/), so the
# normal gcc build is untouched.
#   scripts/fuzz.sh [SECONDS]   a campaign: each target for SECONDS (default 300) on the
#                               committed corpus; new inputs are kept in build-fuzz/corpus/
#   scripts/fuzz.sh --ci        each target for a fixed number of runs with a fixed seed:
#                               the same inputs every time, no pass or fail by the clock
# A crash leaves its input in build-fuzz/artifacts/; make it a regression test.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=campaign
seconds=300
if [ "${1:-}" = "--ci" ]; then
  mode=ci
elif [ -n "${1:-}" ]; then
  seconds=$1
fi

bash scripts/deps.sh clang libclang-rt-dev
build=build-fuzz
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
CXX=clang++ cmake -S . -B "$build" -G Ninja -DTAVRINO_FUZZ=ON -DTAVRINO_GUI=OFF \
  -DTAVRINO_TESTS=OFF -DTAVRINO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  >/dev/null

# Target and its runs in CI: the slow ones build a whole program file or settings images
# on every run.
targets=(answer_decoder:200000 request_decoder:100000 cli_options:100000 settings:300 loader:150
         updater_image:5000 recovery_record:20000)
names=()
for t in "${targets[@]}"; do names+=("fuzz_${t%%:*}"); done
cmake --build "$build" -j "$(nproc)" --target "${names[@]}"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/artifacts"
for t in "${targets[@]}"; do
  name=${t%%:*}
  runs=${t##*:}
  seeds=fuzz/corpus/$name
  work=$build/corpus/$name
  mkdir -p "$work"
  log=$build/fuzz_$name.log
  if [ "$mode" = ci ]; then
    # New inputs go to a scratch folder, never into the committed corpus.
    work=$(mktemp -d)
    limit=(-runs="$runs" -seed=1)
  else
    limit=(-max_total_time="$seconds")
  fi
  echo "fuzz_$name: ${limit[*]}"
  if ! "$build/fuzz/fuzz_$name" "${limit[@]}" -max_len=9000 \
    -artifact_prefix="$build/artifacts/$name-" "$work" "$seeds" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz_$name found a fault; its input is in $build/artifacts/" >&2
    exit 1
  fi
  grep -E '^Done' "$log"
  if [ "$mode" = ci ]; then rm -rf "$work"; fi
done
