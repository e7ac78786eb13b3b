#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Takes the screenshots of the desktop program in docs/ from the real program, under a
# virtual X server with a window manager, against simulated panels on pseudo-terminals:
#   docs/port-dialog.png   the port dialog: the device beside each port, and why one is greyed
#   docs/port-failed.png   a remembered port whose adapter was unplugged: the line says why
# With --more DIR it also takes, into DIR, what a technician meets in the window:
#   port-dialog.png        the port dialog (as in docs/)
#   run-reports.png        Help > Run reports where no file manager can be started
#   no-updater.png         Program on a panel whose Starter is outdated, with no updater image
#   stopped.png            Stop during FLASH programing: the log after it, and the idle title
# Usage: scripts/screenshots.sh [--more DIR]
#   (installs what it needs; builds in build/ or $TAVRINO_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  "") ;;
  --more)
    [ -n "${2:-}" ] || { echo "usage: scripts/screenshots.sh [--more DIR]" >&2; exit 1; }
    mkdir -p "$2"
    TAVRINO_SHOTS_MORE="$(cd "$2" && pwd)"
    export TAVRINO_SHOTS_MORE
    ;;
  *) echo "usage: scripts/screenshots.sh [--more DIR]" >&2; exit 1 ;;
esac
more="${TAVRINO_SHOTS_MORE:-}"

if [ -z "${TAVRINO_SHOTS_DISPLAY:-}" ]; then
  bash scripts/deps.sh xvfb xauth openbox xdotool x11-apps x11-utils netpbm
  build="${TAVRINO_BUILD_DIR:-build}"
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" -j "$(nproc)" --target tavrino tavrino-panel tavrino-pack
  TAVRINO_SHOTS_DISPLAY=1 TAVRINO_BUILD_DIR="$build" \
    exec xvfb-run -a -s "-screen 0 1024x600x24" bash "$0"
fi

build="$(cd "${TAVRINO_BUILD_DIR:-build}" && pwd)"
work="$(mktemp -d /tmp/shot.XXXXXX)"
pids=()
com1_pid=""
cleanup() {
  for p in "${pids[@]}" $com1_pid; do kill -TERM "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits until the file exists (a panel's link), at most 10 s.
wait_for() {
  for _ in $(seq 100); do [ -e "$1" ] && return 0; sleep 0.1; done
  echo "screenshots: $1 did not appear" >&2
  return 1
}

# Waits until the main window's title is the bare caption again: the command has ended.
wait_idle() {
  for _ in $(seq 600); do
    [ "$(xdotool getwindowname "$main")" = "Tavrino" ] && return 0
    sleep 0.1
  done
  echo "screenshots: the command did not end" >&2
  return 1
}

# The first visible window whose title matches, within the given seconds; nothing if none.
window_named() {
  local w=""
  for _ in $(seq $(($2 * 10))); do
    w="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)"
    [ -n "$w" ] && break
    sleep 0.1
  done
  echo "$w"
}

# The screen around the given windows (frames included) as a PNG.
shoot() {
  local out="$1"
  shift
  local x0=100000 y0=100000 x1=0 y1=0 X Y WIDTH HEIGHT
  for w in "$@"; do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    ((X < x0)) && x0=$X
    ((Y < y0)) && y0=$Y
    ((X + WIDTH > x1)) && x1=$((X + WIDTH))
    ((Y + HEIGHT > y1)) && y1=$((Y + HEIGHT))
  done
  # Room for the window manager's frame and title bar.
  x0=$((x0 > 8 ? x0 - 8 : 0))
  y0=$((y0 > 48 ? y0 - 48 : 0))
  # The root picture may leave a window black (the X server keeps its pixels apart until
  # it is drawn over): each window's own picture goes over it at its place.
  xwd -root -silent | xwdtopnm 2>/dev/null > "$work/root.pnm"
  for w in "$@"; do
    local ax ay
    ax="$(xwininfo -id "$w" | awk '/Absolute upper-left X/ {print $4}')"
    ay="$(xwininfo -id "$w" | awk '/Absolute upper-left Y/ {print $4}')"
    xwd -id "$w" -silent | xwdtopnm 2>/dev/null > "$work/window.pnm"
    pnmpaste "$work/window.pnm" "$ax" "$ay" "$work/root.pnm" > "$work/pasted.pnm"
    mv "$work/pasted.pnm" "$work/root.pnm"
  done
  pamcut -left "$x0" -top "$y0" -width $((x1 - x0 + 16)) -height $((y1 - y0 + 8)) \
    "$work/root.pnm" | pnmtopng > "$out"
  echo "wrote $out"
}

openbox > /dev/null 2>&1 &
pids+=($!)
sleep 1

# A firmware file to load: program 1.04.02 eng from fixed pseudo-random bytes.
LC_ALL=C awk 'BEGIN { s = 12345
  for (i = 0; i < 393212; i++) { s = (s * 69069 + 1) % 4294967296; printf "%c", int(s / 65536) % 256 } }' \
  > "$work/program.bin"
"$build/tools/tavrino-pack" "$work/sample-1.04.02.17" "$work/program.bin" --stamp 1.04.02:1 > /dev/null

# COM1: the panel. COM3: a line that another program (flock) holds. COM2, COM4: the board's
# ports, not there on a machine without them.
"$build/sim/tavrino-panel" --link "$work/com1" > /dev/null 2>&1 &
com1_pid=$!
"$build/sim/tavrino-panel" --link "$work/com3" > /dev/null 2>&1 &
pids+=($!)
wait_for "$work/com1"
wait_for "$work/com3"
flock "$work/com3" sleep 600 &
pids+=($!)
export TAVRINO_COM1="$work/com1" TAVRINO_COM3="$work/com3" XDG_STATE_HOME="$work/state"
unset TAVRINO_COM2 TAVRINO_COM4

# No file manager on the program's PATH: Help > Run reports must say where the reports are.
# An updater folder with no image in it.
mkdir -p "$work/no-programs" "$work/updaters"
PATH="$work/no-programs" TAVRINO_UPDATERS="$work/updaters" \
  "$build/app/tavrino" "$work/sample-1.04.02.17" > "$work/tavrino.out" 2>&1 &
pids+=($!)
main="$(xdotool search --sync --onlyvisible --name '^Tavrino$' | head -1)"
xdotool windowactivate --sync "$main"
sleep 1

xdotool key ctrl+r
dialog="$(xdotool search --sync --onlyvisible --name '^Choose port$' | head -1)"
sleep 1
shoot docs/port-dialog.png "$main" "$dialog"

# Choose COM1 and restart the panel; then the adapter goes away and the next Restart fails.
xdotool mousemove --window "$dialog" 30 32 click 1
sleep 0.5
xdotool windowactivate --sync "$dialog" key Return
sleep 1
wait_idle
kill -TERM "$com1_pid"
wait "$com1_pid" 2>/dev/null || true
com1_pid=""
xdotool windowactivate --sync "$main"
xdotool key ctrl+r
sleep 1
wait_idle
shoot docs/port-failed.png "$main"

if [ -n "$more" ]; then
  cp docs/port-dialog.png "$more/port-dialog.png"

  # Help > Run reports with no file manager: a box names the folder.
  xdotool windowactivate --sync "$main"
  xdotool key alt+h
  sleep 0.5
  xdotool key r
  box="$(window_named '^Information$' 10)"
  [ -n "$box" ] || { echo "screenshots: Help > Run reports showed no box" >&2; exit 1; }
  sleep 0.5
  shoot "$more/run-reports.png" "$main" "$box"
  xdotool windowactivate --sync "$box" key Return
  sleep 0.5

  # A panel with an outdated Starter on the same line, at the real line's pace, and no
  # updater image: Program says why the Starter stays, then goes on.
  "$build/sim/tavrino-panel" --link "$work/com1" --starter 2.5:1 --pace > /dev/null 2>&1 &
  com1_pid=$!
  wait_for "$work/com1"
  xdotool windowactivate --sync "$main"
  xdotool key ctrl+p
  # The port is asked again after the failed command.
  box=""
  for _ in $(seq 60); do
    dialog="$(window_named '^Choose port$' 1)"
    if [ -n "$dialog" ]; then
      xdotool mousemove --window "$dialog" 30 32 click 1
      sleep 0.5
      xdotool windowactivate --sync "$dialog" key Return
    fi
    box="$(window_named '^Information$' 1)"
    [ -n "$box" ] && break
  done
  [ -n "$box" ] || { echo "screenshots: Program showed no box for the missing updater" >&2; exit 1; }
  sleep 0.5
  shoot "$more/no-updater.png" "$main" "$box"
  xdotool windowactivate --sync "$box" key Return

  # "Continue ?" (Yes), then Stop (Ctrl+S, "Abort ?" Yes) while the program is written.
  box="$(window_named '^Question$' 120)"
  [ -n "$box" ] || { echo "screenshots: Program asked nothing" >&2; exit 1; }
  xdotool windowactivate --sync "$box" key Return
  sleep 8
  xdotool windowactivate --sync "$main"
  xdotool key ctrl+s
  box="$(window_named '^Question$' 10)"
  [ -n "$box" ] || { echo "screenshots: Stop asked nothing" >&2; exit 1; }
  xdotool windowactivate --sync "$box" key Return
  wait_idle
  sleep 0.5
  shoot "$more/stopped.png" "$main"
  echo "the idle window's title: \"$(xdotool getwindowname "$main")\""
fi
echo "--- what the program wrote on standard output:"
cat "$work/tavrino.out"
