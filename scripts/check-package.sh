#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh) and checks them as a user
# meets them, on this machine (as root: it installs and removes them):
#   lintian: no error, and no warning that the package's overrides do not justify;
#   desktop-file-validate and appstreamcli validate --no-net: nothing to say;
#   apt-get install ./dist/orvinta_….deb, then from /usr/bin: both --version
#   lines, `man orvinta-cli`, and orvinta in a tray (trayer) on a private
#   Xvfb showing its icon; TranscriptionCore found by a CMake project;
#   both packages removed, none of their files left.
#   --clean-root: also installs the package into a new Debian 12 root made by
#   debootstrap (needs deb.debian.org), which proves its dependencies complete.
# ORVINTA_TEST_DISPLAY picks the X display (default :97).
set -euo pipefail
cd "$(dirname "$0")/.."

clean_root=false
[ "${1:-}" = --clean-root ] && clean_root=true
if [ "$(id -u)" -ne 0 ]; then
  echo "check-package.sh installs and removes packages: run it as root" >&2
  exit 1
fi

tools=(lintian desktop-file-utils appstream man-db xvfb xauth trayer x11-utils dbus-daemon
  pulseaudio pulseaudio-utils cmake g++)
$clean_root && tools+=(debootstrap)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

step() { printf '\n== %s\n' "$*"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

step "Build"
scripts/package.sh
version=$(sed -n 's/^project(Orvinta VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
deb=dist/orvinta_${version}_${arch}.deb
dev=dist/libtranscriptioncore-dev_${version}_${arch}.deb
[ -f "$deb" ] && [ -f "$dev" ] || fail "scripts/package.sh made no $deb and $dev"
for package in "$deb" "$dev"; do
  echo "$package: $(du -k "$package" | cut -f1) KiB, installed $(dpkg-deb -f "$package" Installed-Size) KiB"
done
dpkg-deb -f "$deb" Version Depends Recommends

work=$(mktemp -d /tmp/orvinta-check-package.XXXXXX)
cleanup() {
  [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null
  [ -n "${bus_pid:-}" ] && kill "$bus_pid" 2>/dev/null
  [ -n "${trayer_pid:-}" ] && kill "$trayer_pid" 2>/dev/null
  declare -F stop_test_services >/dev/null && stop_test_services
  rm -rf "$work"
}
trap cleanup EXIT

step "lintian"
# lintian advises against root; it reads the packages as nobody.
cp "$deb" "$dev" "$work/" && chmod a+rx "$work" && chmod a+r "$work"/*.deb
runuser -u nobody -- env HOME="$work" lintian --fail-on error,warning \
  "$work/$(basename "$deb")" "$work/$(basename "$dev")" || fail "lintian"
echo "lintian: no errors, no warnings"

step "desktop-file-validate, appstreamcli validate --no-net"
dpkg-deb -x "$deb" "$work/root"
desktop="$work/root/usr/share/applications/app.orvinta.Orvinta.desktop"
metainfo="$work/root/usr/share/metainfo/app.orvinta.Orvinta.metainfo.xml"
said=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$said" ] || fail "desktop-file-validate: $said"
echo "desktop-file-validate: nothing to say"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"

step "apt-get install ./$deb"
# A package left by an interrupted run goes first.
dpkg-query -W -f='${Status}' orvinta libtranscriptioncore-dev 2>/dev/null | grep -q 'ok installed' &&
  apt-get remove --purge -y -qq orvinta libtranscriptioncore-dev >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "./$deb" "./$dev" \
  >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
awk '/^The following NEW/ {new = 1; print; next} new && /^  / {print; next} {new = 0}
  /^Setting up/' "$work/apt.log"
dpkg -L orvinta libtranscriptioncore-dev | sort -u >"$work/files"

step "The programs from /usr/bin"
[ "$(command -v orvinta)" = /usr/bin/orvinta ] || fail "orvinta is not /usr/bin/orvinta"
/usr/bin/orvinta --version
/usr/bin/orvinta-cli --version
[ "$(/usr/bin/orvinta --version)" = "$(build-package/shell/app/orvinta --version)" ] ||
  fail "the installed orvinta is not the one built"
/usr/bin/orvinta --version | grep -q "^orvinta $version ([0-9]*)$" || fail "orvinta --version"
/usr/bin/orvinta-cli --version | grep -q "^orvinta-cli $version ([0-9]*)$" || fail "orvinta-cli --version"
/usr/bin/orvinta-score --help | head -n 1

step "man orvinta-cli"
MANWIDTH=80 man -P cat orvinta-cli 2>&1 | head -n 12 | tee "$work/man"
grep -q "orvinta-cli - live speech to text from a terminal" "$work/man" || fail "man orvinta-cli"

step "orvinta from /usr/bin in a system tray"
source scripts/test-services.sh
start_test_services
echo "display $DISPLAY"
trayer --edge top --align right --widthtype pixel --width 200 --height 24 --SetDockType true &
trayer_pid=$!
panel=
for _ in $(seq 100); do
  panel=$(xwininfo -root -tree | awk '/\("panel" "trayer"\)/ {print $1; exit}')
  [ -n "$panel" ] && break
  sleep 0.1
done
[ -n "$panel" ] || fail "trayer did not start"
# The user's files of this run stay in one folder, removed at the end.
home="$work/home"
mkdir -p "$home"
dbus-daemon --session --nofork --address="unix:path=$work/bus" >/dev/null 2>&1 &
bus_pid=$!
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
  XDG_STATE_HOME="$home/.local/state" XDG_CACHE_HOME="$home/.cache" \
  DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus" /usr/bin/orvinta >"$work/orvinta.log" 2>&1 &
app_pid=$!
icon=
for _ in $(seq 200); do
  icon=$(xwininfo -id "$panel" -tree | grep '("orvinta" "Orvinta")' | head -n 1 || true)
  [ -n "$icon" ] && break
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
sleep 1
kill "$app_pid" && wait "$app_pid" || true
app_pid=
cat "$work/orvinta.log"
[ -n "$icon" ] || fail "no Orvinta icon in the tray"
echo "tray icon in trayer's panel $panel:$icon"
kill "$bus_pid" "$trayer_pid" && wait "$bus_pid" "$trayer_pid" 2>/dev/null || true
bus_pid= trayer_pid=
stop_test_services

step "find_package(TranscriptionCore)"
mkdir -p "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(Consumer LANGUAGES CXX)
find_package(TranscriptionCore REQUIRED)
add_executable(wer main.cpp)
target_link_libraries(wer PRIVATE TranscriptionCore::TranscriptionCore)
CMAKE
cat >"$work/consumer/main.cpp" <<'CPP'
#include <TranscriptionCore/TranscriptionCore.h>
#include <cstdio>
int main() { std::printf("%.2f\n", TranscriptionCore::wordErrorRate("one two three four", "one two tree four")); }
CPP
cmake -S "$work/consumer" -B "$work/consumer/build" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
echo "word error rate of one substitution in four words: $("$work/consumer/build/wer")"

step "apt-get remove --purge"
apt-get remove --purge -y -qq orvinta libtranscriptioncore-dev >/dev/null
left=()
while read -r path; do
  [ "$path" = /. ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder stays while another package has files in it.
    dpkg -S "$path" >/dev/null 2>&1 || left+=("$path")
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left behind: ${left[*]}"
echo "$(wc -l <"$work/files") paths of the two packages: none left"

if $clean_root; then
  step "A clean Debian 12 root (debootstrap --variant=minbase)"
  root="$work/debian12"
  # The fresh system is kept as a tarball between runs (debootstrap takes
  # minutes); each run unpacks a new root from it.
  base=/var/tmp/orvinta-debian12-minbase.tar
  if [ ! -f "$base" ]; then
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$work/debootstrap.log" 2>&1 ||
      { tail -n 20 "$work/debootstrap.log"; fail "debootstrap (is deb.debian.org reachable?)"; }
    tar -C "$root" -cf "$base.part" . && mv "$base.part" "$base"
  else
    mkdir -p "$root" && tar -C "$root" -xf "$base"
  fi
  mount -t proc proc "$root/proc"
  unmount_root() { umount "$root/proc" 2>/dev/null || true; }
  trap 'unmount_root; cleanup' EXIT
  in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
  cp "$deb" "$root/tmp/"
  in_root apt-get update -qq
  # Only what the package depends on: no recommends, nothing else.
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "/tmp/$(basename "$deb")" >"$work/root-apt.log" 2>&1 || { tail -n 30 "$work/root-apt.log"; fail "apt-get install in the clean root"; }
  echo "installed with $(grep -c '^Setting up' "$work/root-apt.log") packages in all"
  in_root orvinta --version
  in_root orvinta-cli --version
  in_root orvinta-cli translate --to es-ES "Good morning" || fail "orvinta-cli translate in the clean root"
  # The windows' QML modules, icons and plugins, seen only when orvinta runs:
  # a tray host and a display are added for the test, not by the package.
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    xvfb trayer x11-utils >/dev/null 2>&1
  cat >"$root/tmp/run-orvinta.sh" <<'RUN'
display=$1
mkdir -p -m 700 /tmp/home && cd /tmp/home
export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/home DISPLAY=$display
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
trayer --edge top --align right --widthtype pixel --width 200 --height 24 &
trayer=$!
sleep 1
orvinta >/tmp/orvinta.log 2>&1 &
app=$!
icon=
for _ in $(seq 200); do
  panel=$(xwininfo -root -tree | awk '/\("panel" "trayer"\)/ {print $1; exit}')
  [ -n "$panel" ] && icon=$(xwininfo -id "$panel" -tree | grep '("orvinta" "Orvinta")' | head -n 1)
  [ -n "$icon" ] && break
  sleep 0.1
done
# A moment for the windows to load their QML.
sleep 2
kill "$app" "$trayer" "$xvfb"
{ wait "$app" "$trayer" "$xvfb"; } 2>/dev/null
cat /tmp/orvinta.log
[ -n "$icon" ] && echo "tray icon:$icon"
RUN
  in_root sh /tmp/run-orvinta.sh "${ORVINTA_TEST_DISPLAY:-:97}" | tee "$work/root-run.log"
  grep -q "tray icon:" "$work/root-run.log" || fail "no Orvinta icon in the clean root's tray"
  ! grep -Ei "is not installed|not found|cannot load|could not load|failed to load" \
    "$work/root-run.log" || fail "orvinta misses parts in the clean root"
  unmount_root
fi
step "All checks passed"
