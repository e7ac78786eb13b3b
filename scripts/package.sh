#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The Debian package and the Windows download.
#   scripts/package.sh           builds build-package/tavrino_<version>_<arch>.deb (Release, no
#                                tests) and checks its contents, its metadata (desktop-file-
#                                validate, appstreamcli) and the links of its README
#   scripts/package.sh --check   the same, and lintian (any error or warning fails), then
#                                installs it with apt-get, tries the installed programs (one
#                                Program run of tavrino-cli against tavrino-panel on a
#                                pseudo-terminal) and removes it again, also when a step
#                                fails, with every package the install brought in
#   scripts/package.sh --windows builds build-windows/tavrino-<version>-windows-x86_64.zip from
#                                the mingw-w64 build in build-windows/ (built there first when
#                                it is not; scripts/windows.sh tries the zip under wine)
# It installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

check=0
windows=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  --windows) windows=1 ;;
  *) echo "usage: scripts/package.sh [--check | --windows]" >&2; exit 1 ;;
esac

fail() { echo "package check failed: $*" >&2; exit 1; }

if ((windows)); then
  bash scripts/deps.sh g++-mingw-w64-x86-64-posix googletest
  build=build-windows
  # The same build scripts/windows.sh makes: when it is there, nothing is built again.
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DTAVRINO_GUI=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target tavrino-cli tavrino-pack
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
  [ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
  name="tavrino-$version-windows-x86_64"
  stage="$(mktemp -d "${TMPDIR:-/tmp}/tavrino-zip.XXXXXX")"
  trap 'rm -rf "$stage"' EXIT
  mkdir -p "$stage/$name/updaters"
  # The programs look for the maker's updater images in the updaters folder beside them.
  cp "$build/cli/tavrino-cli.exe" "$build/tools/tavrino-pack.exe" "$stage/$name/"
  # The simulated panel needs a pseudo-terminal: it is built only where there is one.
  if [ -f "$build/sim/tavrino-panel.exe" ]; then cp "$build/sim/tavrino-panel.exe" "$stage/$name/"; fi
  cp README.md LICENSE "$stage/$name/"
  cp packaging/updaters-README "$stage/$name/updaters/README.txt"
  zip="$(pwd)/$build/$name.zip"
  rm -f "$zip"
  (cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")
  say "$build/$name.zip"
  cmake -E tar tf "$zip"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# dpkg-dev: dpkg-shlibdeps finds the package's dependencies, dpkg-buildflags Debian's
# hardening flags; file: cpack strips with it; librsvg2-bin: the PNG icons; the validators;
# man-db for man -w in the check.
extra=(dpkg-dev file librsvg2-bin desktop-file-utils appstream)
if ((check)); then extra+=(man-db lintian); fi
bash scripts/deps.sh "${extra[@]}"

build=build-package
# The package installs under /usr; the programs are built knowing it (their data folder),
# and with Debian's hardening (fortified functions, a read-only relocation table).
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVRINO_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tavrino_*.deb
(cd "$build" && cpack -G DEB) > "$build/cpack.log" 2>&1 || { cat "$build/cpack.log" >&2; exit 1; }
debs=("$build"/tavrino_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no single .deb in $build" >&2; exit 1; }
deb="${debs[0]}"

say "$deb"
dpkg-deb --field "$deb" Package Version Architecture Section Maintainer Depends
contents="$(dpkg-deb --contents "$deb")"
for path in usr/bin/tavrino usr/bin/tavrino-cli usr/bin/tavrino-panel usr/bin/tavrino-pack \
    usr/share/applications/tavrino.desktop usr/share/mime/packages/tavrino.xml \
    usr/share/icons/hicolor/scalable/apps/tavrino.svg usr/share/icons/hicolor/48x48/apps/tavrino.png \
    usr/share/man/man1/tavrino.1.gz usr/share/man/man1/tavrino-cli.1.gz \
    usr/share/man/man1/tavrino-panel.1.gz usr/share/man/man1/tavrino-pack.1.gz \
    usr/share/bash-completion/completions/tavrino-cli usr/share/tavrino/updaters/README \
    usr/share/doc/tavrino/README.md usr/share/doc/tavrino/70-tavrino-modemmanager.rules \
    usr/share/doc/tavrino/copyright usr/share/doc/tavrino/changelog.gz; do
  grep -q " \./$path\$" <<<"$contents" || fail "$path is not in the package"
done
grep -q ' \./usr/share/metainfo/.*\.metainfo\.xml$' <<<"$contents" || fail "no AppStream metadata"
echo "every file in its place"

# The metadata as packaged, validated before anything is installed.
unpacked="$(mktemp -d "${TMPDIR:-/tmp}/tavrino-package.XXXXXX")"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb --extract "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/tavrino.desktop"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml

# Every relative link of the installed README (and of the pages it links) leads to a file of
# the package.
doc="$unpacked/usr/share/doc/tavrino"
for page in "$doc/README.md" "$doc"/docs/*.md; do
  while IFS= read -r link; do
    target="${link%%#*}"
    [ -z "$target" ] && continue
    case "$target" in http://* | https://* | mailto:*) continue ;; esac
    [ -e "$(dirname "$page")/$target" ] || fail "${page#"$unpacked"} links $target, which is not in the package"
  done < <(grep -oE '\]\([^)]+\)' "$page" | sed 's/^](//; s/)$//')
done
echo "every link of the installed README leads to a file of the package"

# The changelog's newest entry is this version.
changelog_version="$(zcat "$doc/changelog.gz" | head -1 | sed -n 's/^tavrino (\([^)]*\)).*/\1/p')"
[ "$changelog_version" = "$(dpkg-deb --field "$deb" Version)" ] ||
  fail "the changelog's newest entry is $changelog_version, the package $(dpkg-deb --field "$deb" Version)"
((check)) || exit 0

say "lintian"
# Errors and warnings fail the check; the informational tags are shown.
lintian --info --fail-on error,warning "$deb" || fail "lintian found errors or warnings"
echo "lintian: no error, no warning"

# ---------------------------------------------------------------------------------------------
# Install, try, remove.
if dpkg-query -W -f='${Status}' tavrino 2>/dev/null | grep -q "install ok installed"; then
  fail "the package tavrino is installed already; this check would remove it"
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/tavrino-package-check.XXXXXX")"
before="$work/packages-before"
installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ {print $2}' | sort -u; }
installed > "$before"
panel_pid=""
cleanup() {
  local status=$?
  if [ -n "$panel_pid" ]; then
    kill -TERM "$panel_pid" 2>/dev/null || true
    wait "$panel_pid" 2>/dev/null || true
  fi
  # Remove tavrino and the packages its installation brought in (new since the check began
  # and marked as installed automatically), so the machine is as it was.
  # Any state but "not installed" (a failed installation leaves it unpacked or half-configured).
  local state
  state="$(dpkg-query -W -f='${db:Status-Abbrev}' tavrino 2>/dev/null || true)"
  if [ -n "$state" ] && [ "${state:1:1}" != n ]; then
    say "apt-get remove tavrino"
    local added=()
    mapfile -t added < <(installed | comm -13 "$before" - | grep -vx tavrino |
                         comm -12 - <(apt-mark showauto | sed 's/:.*//' | sort -u))
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get remove -y -qq tavrino "${added[@]}" |
      grep -E '^(Removing|Purging)' || true
  fi
  local after="$work/packages-after"
  installed > "$after"
  if ! cmp -s "$before" "$after"; then
    echo "the installed packages differ from before the check:" >&2
    diff "$before" "$after" >&2 || true
    status=1
  fi
  rm -rf "$work" "$unpacked"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

say "apt-get install ./$deb"
# apt reads the file as its own user when it can: a copy in a folder open to all.
cp "$deb" "$work/" && chmod 755 "$work" && chmod 644 "$work/${deb##*/}"
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$work/${deb##*/}" |
  grep -E '^(Setting up|Unpacking)' || true
dpkg-query -W -f='${Status}' tavrino | grep -q "install ok installed" || fail "tavrino did not install"

say "tavrino-cli --version"
[ "$(command -v tavrino-cli)" = /usr/bin/tavrino-cli ] || fail "tavrino-cli on the PATH is $(command -v tavrino-cli)"
version="$(tavrino-cli --version)"
echo "$version"
expected="$(dpkg-deb --field "$deb" Version)"
grep -q "^Tavrino $expected " <<<"$version" || fail "tavrino-cli --version does not say $expected"

say "man -w tavrino-cli"
# Minimal Debian images tell dpkg to leave out man pages (path-exclude in /etc/dpkg/dpkg.cfg.d/);
# there the page cannot be on disk, and the package's own list stands for it.
excluded="$(grep -ls '^path-exclude[= ]*/usr/share/man' /etc/dpkg/dpkg.cfg.d/* 2>/dev/null || true)"
if [ -n "$excluded" ]; then
  echo "man pages are excluded by dpkg here ($excluded): not installed, checked in the package:"
  grep -o '\./usr/share/man/man1/tavrino-cli\.1\.gz$' <<<"$contents" || fail "no tavrino-cli.1.gz"
else
  man -w tavrino-cli
  man -w tavrino-cli | grep -q '^/usr/share/man/man1/tavrino-cli\.1\.gz$' || fail "man -w tavrino-cli"
  for page in tavrino tavrino-panel tavrino-pack; do man -w "$page" >/dev/null || fail "man $page"; done
fi

say "desktop-file-validate /usr/share/applications/tavrino.desktop"
desktop-file-validate /usr/share/applications/tavrino.desktop && echo "valid"
if command -v update-mime-database >/dev/null; then
  grep -q 'application/x-qz17-firmware' /usr/share/mime/globs2 ||
    fail "the MIME type is not in the shared MIME database"
fi
if ldd /usr/bin/tavrino | grep 'not found'; then fail "tavrino misses a library"; fi
bash -c 'source /usr/share/bash-completion/completions/tavrino-cli && complete -p tavrino-cli'

say "A Program run: the installed tavrino-cli against the installed tavrino-panel"
write_sample_program "$work/program.bin"
tavrino-pack --stamp 1.04.02:1 "$work/sample.17" "$work/program.bin"
tavrino-panel --link "$work/com1" --program-version 1.03.05:0 --settings 103 \
  > "$work/panel.out" 2>&1 &
panel_pid=$!
for _ in $(seq 50); do
  [ -e "$work/com1" ] && break
  kill -0 "$panel_pid" 2>/dev/null || { cat "$work/panel.out" >&2; fail "tavrino-panel ended"; }
  sleep 0.1
done
[ -e "$work/com1" ] || fail "tavrino-panel did not start"
status=0
# What the run keeps goes into the check's folder, not into the home of whoever runs it.
XDG_STATE_HOME="$work/state" TAVRINO_COM1="$work/com1" tavrino-cli "$work/sample.17" 1 || status=$?
echo "tavrino-cli ended with exit status $status"
[ "$status" -eq 0 ] || fail "the Program run ended with $status"
