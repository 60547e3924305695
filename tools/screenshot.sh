#!/usr/bin/env bash
# tools/screenshot.sh [OUT.png]: a picture of the desktop program after a seeded run of the CRP example.
# Starts kalvo-desktop on a virtual X display (Xvfb), runs examples/crp.params with seed 1 in a
# scratch copy of the example (the repository stays as it is), confirms "Finished!" and saves a
# PNG of the main window with the run list and the logo. Builds the program when it is missing and
# installs Xvfb, ImageMagick and xdotool when they are missing (Debian, as root or with sudo).
# KALVO_BUILD_DIR picks the build folder (default: build); the PNG goes there unless OUT is given.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KALVO_BUILD_DIR:-$root/build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
out="${1:-$build/kalvo-screenshot.png}"
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

missing=()
command -v Xvfb >/dev/null 2>&1 || missing+=(xvfb)
command -v import >/dev/null 2>&1 || missing+=(imagemagick)
command -v xdotool >/dev/null 2>&1 || missing+=(xdotool)
if ((${#missing[@]})); then
  echo "screenshot: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

program="$build/app/gui/kalvo-desktop"
if [ ! -x "$program" ]; then
  echo "screenshot: building kalvo-desktop in $build"
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target kalvo-desktop
fi

work="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "$root/examples/crp.params" "$root/examples/crp0.fa" "$work/"

# A display number nobody uses.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 1100x760x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done

# Paths in crp.params are relative to the working directory.
(cd "$work" && exec env QT_QPA_PLATFORM=xcb "$program" --run crp.params --seed 1) >"$work/app.log" 2>&1 &
app_pid=$!

# The message box "Finished!" has the bare title "Kalvo"; the main window's title names its document.
box=""
for _ in $(seq 600); do
  box="$(xdotool search --onlyvisible --name '^Kalvo$' 2>/dev/null | head -n 1 || true)"
  [ -n "$box" ] && break
  if ! kill -0 "$app_pid" 2>/dev/null; then
    echo "screenshot: kalvo-desktop ended early:" >&2
    cat "$work/app.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$box" ]; then
  echo "screenshot: no \"Finished!\" message within a minute" >&2
  exit 1
fi
xdotool windowfocus --sync "$box" key Return
sleep 1

window="$(xdotool search --onlyvisible --name '^Kalvo - ' | head -n 1)"
import -window "$window" "$out"
echo "screenshot: $out"
grep -c . "$work/crp_report.txt" >/dev/null && echo "screenshot: the run appended its report to crp_report.txt"
