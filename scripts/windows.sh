#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The Windows build, checked under wine (called by `scripts/test.sh --windows`):
#  1. installs mingw-w64 and wine when missing (here only: the Linux build needs neither),
#  2. cross-builds tavrino-cli.exe, tavrino-pack.exe and the Qt-free unit tests as static
#     .exe files in build-windows/,
#  3. runs the unit tests under wine, in a fresh wine prefix in a temporary folder,
#  4. packs the Windows download (scripts/package.sh --windows: the zip, from this build),
#     unpacks it, and from the unpacked folder runs `tavrino-cli.exe --version` and one
#     unattended Program under wine: the native tavrino-panel on a pseudo-terminal mapped as
#     COM1, `wine tavrino-cli.exe FILE 1` must end 0 and leave the panel byte for byte as the
#     native tavrino-cli leaves a panel that started the same,
#  5. prints the idle wait figure of the Windows build (for bench/; never a pass or fail).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

bash scripts/deps.sh g++-mingw-w64-x86-64-posix wine64 wine googletest

# The native programs: the panel, the packer and the reference run.
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target tavrino-panel tavrino-pack tavrino-cli
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DTAVRINO_GUI=OFF -DTAVRINO_WERROR=ON >/dev/null
cmake --build build-windows -j "$(nproc)"
native="$(cd build && pwd)"
windows="$(cd build-windows && pwd)"

work="$(mktemp -d "${TMPDIR:-/tmp}/tavrino-windows.XXXXXX")"
panel_pid=""
cleanup() {
  if [ -n "$panel_pid" ]; then
    kill -TERM "$panel_pid" 2>/dev/null || true
    wait "$panel_pid" 2>/dev/null || true
  fi
  WINEPREFIX="$work/wine" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko prompts: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
export XDG_STATE_HOME="$work/state"
mkdir -p "$XDG_STATE_HOME"

# The wine server outlives the programs and reports on its stderr when it is stopped: start
# it here, quiet and kept alive, so that every wine program below finds it running.
start_wineserver() {
  wineserver -p >/dev/null 2>&1
}

say "A fresh wine prefix"
wineboot -i >/dev/null 2>&1
wineserver -w
start_wineserver

say "Unit tests under wine"
failed=()
passed=0
cases=0
while IFS= read -r exe; do
  name="$(basename "$exe")"
  if wine "$exe" --gtest_brief=1 > "$work/$name.log" 2>&1; then
    passed=$((passed + 1))
    summary="$(grep -E '^\[  PASSED  \]' "$work/$name.log" | tail -1)"
    echo "$name: $summary"
    cases=$((cases + $(echo "$summary" | grep -oE '[0-9]+' | head -1)))
  else
    failed+=("$name")
    cat "$work/$name.log"
    echo "$name: FAILED"
  fi
done < <(find "$windows/tests" -name 'test_*.exe' | sort)
if ((${#failed[@]})); then
  echo "Failed under wine: ${failed[*]}"
  exit 1
fi
((passed > 0)) || { echo "no unit test program was built" >&2; exit 1; }
echo "wine: $cases passed, 0 failed"

say "A firmware file and two panels that start alike"
write_sample_program "$work/program.bin"
wine "$windows/tools/tavrino-pack.exe" "$(winepath -w "$work/sample.17")" \
  "$(winepath -w "$work/program.bin")" --stamp 1.04.02:1
"$native/tools/tavrino-pack" "$work/native.17" "$work/program.bin" --stamp 1.04.02:1
cmp "$work/sample.17" "$work/native.17"
echo "tavrino-pack.exe packs byte for byte as tavrino-pack"

# Starts a panel (program 1.03.05 pol, settings 103) on a pseudo-terminal linked at $1.
start_panel() {
  "$native/sim/tavrino-panel" --link "$1" --program-version 1.03.05:0 --settings 103 \
    --state "$2" > "$work/panel.out" 2>&1 &
  panel_pid=$!
  for _ in $(seq 50); do
    [ -e "$1" ] && return 0
    kill -0 "$panel_pid" 2>/dev/null || break
    sleep 0.1
  done
  cat "$work/panel.out" >&2
  echo "the simulated panel did not start" >&2
  exit 1
}
# Maps COM1 to the pseudo-terminal linked at $1; the mapping takes effect only when the
# wine server starts again.
map_com1() {
  local pty
  pty="$(readlink -f "$1")"
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$pty" /f >/dev/null
  wineserver -k
  wineserver -w
  start_wineserver
  echo "COM1 is $pty"
}
stop_panel() {
  kill -TERM "$panel_pid"
  wait "$panel_pid" || true
  panel_pid=""
}

say "The native run (the reference)"
start_panel "$work/native-com1" "$work/native.state"
TAVRINO_COM1="$work/native-com1" "$native/cli/tavrino-cli" "$work/sample.17" 1 > "$work/native.out"
stop_panel

say "The Windows download, unpacked"
bash scripts/package.sh --windows
zips=("$windows"/tavrino-*-windows-x86_64.zip)
[ "${#zips[@]}" -eq 1 ] && [ -f "${zips[0]}" ] || { echo "no single zip in $windows" >&2; exit 1; }
mkdir "$work/unzipped"
(cd "$work/unzipped" && cmake -E tar xf "${zips[0]}")
unzipped="$(find "$work/unzipped" -mindepth 1 -maxdepth 1 -type d)"
for part in tavrino-cli.exe tavrino-pack.exe README.md LICENSE updaters/README.txt; do
  [ -f "$unzipped/$part" ] || { echo "the zip has no $part" >&2; exit 1; }
done
version="$(cd "$unzipped" && wine tavrino-cli.exe --version | tr -d '\r')"
echo "$version"
grep -q "^Tavrino $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows/CMakeCache.txt") " \
  <<<"$version" || { echo "tavrino-cli.exe --version does not name the build's version" >&2; exit 1; }
# The updater folder the unpacked program looks in is the one beside it.
(cd "$unzipped" && wine tavrino-cli.exe --help) | tr -d '\r' |
  grep -F "$(winepath -w "$unzipped/updaters")" ||
  { echo "tavrino-cli.exe does not look for updaters beside itself" >&2; exit 1; }

say "The Windows run: wine tavrino-cli.exe FILE 1 from the unpacked folder, COM1 mapped to the panel's pseudo-terminal"
start_panel "$work/com1" "$work/wine.state"
map_com1 "$work/com1"
status=0
(cd "$unzipped" && wine tavrino-cli.exe "$(winepath -w "$work/sample.17")" 1) &
run_pid=$!
# While the run holds COM1 (wine does not enforce exclusive opens: the per-port mutex must),
# a second tavrino-cli is refused.
sleep 5
second=0
(cd "$unzipped" && wine tavrino-cli.exe restart --port 1) > "$work/second.out" 2> "$work/second.err" ||
  second=$?
wait "$run_pid" || status=$?
echo "wine tavrino-cli.exe sample.17 1: exit status $status"
echo "a second wine tavrino-cli.exe on COM1 meanwhile: exit status $second: $(cat "$work/second.err")"
stop_panel
[ "$status" -eq 0 ] || exit 1
[ "$second" -eq 3 ] || exit 1
cmp "$work/native.state" "$work/wine.state"
echo "The panel is left byte for byte as the native run leaves it."

say "Idle wait of the Windows build (a figure for bench/, not a test)"
start_panel "$work/com1" "$work/idle.state"
map_com1 "$work/com1" >/dev/null
kill -STOP "$panel_pid"  # a panel that hears nothing: every wait runs out
wine "$windows/bench/bench_idle_wait_win32.exe" || true
kill -CONT "$panel_pid"
stop_panel
