#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The crash sweep: every exchange of a Program run (or every N-th, and around every step's
# first exchange) cut, and Stop pressed there; every file operation of the host refused,
# and the process stopped there; each followed by the same command run again, and by the
# cut run's records shown to another panel and to the panel updated elsewhere. Prints a
# table of the points tried and the failures, each failure with the command that replays it.
#   bash scripts/crash-sweep.sh [--stride N] [crash-sweep options...]
#     --stride N        every N-th exchange (default 1: all of them), plus the boundaries
#     --host-stride N   every N-th file operation (default 1: all of them)
#     --case NAME       only this case (repeatable); --point KIND:N replays one point
#     --no-stale        without the other-panel and updated-elsewhere checks
#     --failures FILE   every failing point, one line each, with its command
#     --steps           where each step of the uninterrupted run begins (to read a point's N)
# Builds crash-sweep in build/ (or $TAVRINO_SWEEP_BUILD) and runs one case per core.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${TAVRINO_SWEEP_BUILD:-build}"
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target crash-sweep >/dev/null

args=("$@")
case " ${args[*]:-} " in *" --stride "*) ;; *) args=(--stride 1 "${args[@]}") ;; esac
case " ${args[*]:-} " in *" --jobs "*) ;; *) args=(--jobs "$(nproc)" "${args[@]}") ;; esac

exec "$build/tests/sweep/crash-sweep" "${args[@]}"
