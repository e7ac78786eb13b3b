#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The demo: a full Program run against the simulated panel, then the same command again.
#   scripts/demo.sh         in the terminal (tavrino-cli)
#   scripts/demo.sh --gui   in the desktop program (tavrino FILE 1; needs a display)
# It installs what is missing, builds what it runs (in build/, or $TAVRINO_BUILD_DIR), starts
# a simulated panel on a pseudo-terminal in a temporary folder and removes it all at the end,
# with what the tool keeps (run reports, recovery records, backups): none of the demo lands
# in your own ~/.local/state/tavrino.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

gui=0
case "${1:-}" in
  "") ;;
  --gui) gui=1 ;;
  *) echo "usage: scripts/demo.sh [--gui]" >&2; exit 1 ;;
esac

bash scripts/deps.sh
build="${TAVRINO_BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja >/dev/null
targets=(tavrino-cli tavrino-panel tavrino-pack)
if ((gui)); then targets+=(tavrino); fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
build="$(cd "$build" && pwd)"
cli="$build/cli/tavrino-cli"
panel="$build/sim/tavrino-panel"
pack="$build/tools/tavrino-pack"
desktop="$build/app/tavrino"

work="$(mktemp -d "${TMPDIR:-/tmp}/tavrino-demo.XXXXXX")"
panel_pid=""
cleanup() {
  if [ -n "$panel_pid" ]; then
    kill -TERM "$panel_pid" 2>/dev/null || true
    wait "$panel_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# The demo's run reports and records stay in its own folder and go with it.
export XDG_STATE_HOME="$work/state"

say "A sample firmware file: program 1.04.02 eng (deterministic bytes, packed with tavrino-pack)"
write_sample_program "$work/program.bin"
"$pack" "$work/sample-1.04.02.17" "$work/program.bin" --stamp 1.04.02:1
"$cli" check "$work/sample-1.04.02.17"

say "Starter updater TEST images (not the panel maker's; allowed here, refused on a real run)"
"$pack" --test-updaters "$work/updaters"
ls "$work/updaters"
export TAVRINO_UPDATERS="$work/updaters" TAVRINO_ALLOW_TEST_UPDATERS=1

say "A simulated panel on a pseudo-terminal: program 1.03.05 pol, settings of data format 103"
"$panel" --link "$work/com1" --program-version 1.03.05:0 --settings 103 \
  --state "$work/panel.state" > "$work/panel.out" 2>&1 &
panel_pid=$!
for _ in $(seq 50); do
  [ -e "$work/com1" ] && break
  kill -0 "$panel_pid" 2>/dev/null || { cat "$work/panel.out" >&2; exit 1; }
  sleep 0.1
done
[ -e "$work/com1" ] || { echo "the simulated panel did not start" >&2; exit 1; }
export TAVRINO_COM1="$work/com1"
echo "COM1 is $TAVRINO_COM1"

if ((gui)); then
  # The window shows the log; its exit status tells how the run ended (0: completed).
  desktop_run() {
    local status=0
    "$desktop" "$work/sample-1.04.02.17" 1 || status=$?
    echo "tavrino ended with exit status $status"
    return "$status"
  }
  say "The desktop program: unattended Program through COM1 (tavrino FILE 1)"
  desktop_run
  say "The same again: the panel now holds the file's program"
  desktop_run
  exit 0
fi

say "Unattended Program through COM1: tavrino-cli FILE 1 (the restart wait takes about 12 s)"
"$cli" "$work/sample-1.04.02.17" 1

say "The same command again: the panel now holds the same program"
"$cli" "$work/sample-1.04.02.17" 1
