#!/usr/bin/env bash
# tools/screenshot.sh [OUT.png]: pictures of the desktop program on the CRP example.
# Starts kalvo-desktop on a virtual X display (Xvfb) in a scratch copy of the example (the
# repository stays as it is), then saves three PNGs:
#   OUT.png           after a Single Run of examples/crp.params with seed 1: the run list and the logo
#   OUT-form.png      the New Analysis form, with crp0.fa typed in as the sequence file
#   OUT-analysis.png  the results window once that analysis (the form's defaults) has finished
# Builds the program when it is missing and installs Xvfb, ImageMagick and xdotool when they are
# missing (Debian, as root or with sudo). KALVO_BUILD_DIR picks the build folder (default: build);
# the PNGs go there unless OUT is given.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KALVO_BUILD_DIR:-$root/build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
out="${1:-$build/kalvo-screenshot.png}"
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
out_form="${out%.png}-form.png"
out_analysis="${out%.png}-analysis.png"

bash "$root/tools/install_missing.sh" screenshot Xvfb=xvfb import=imagemagick xdotool=xdotool

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
  # Waited for, so that the display is free again when the script ends.
  [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; } || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "$root/examples/crp.params" "$root/examples/crp0.fa" "$work/"

# A display number nobody uses.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done

# Paths in crp.params are relative to the working directory.
(cd "$work" && exec env QT_QPA_PLATFORM=xcb "$program" --run crp.params --seed 1) >"$work/app.log" 2>&1 &
app_pid=$!

# Focuses a window and sends it xdotool commands ("key Return", "type TEXT"). A window that was
# just mapped may refuse the focus (BadMatch), so this tries a few times.
send() {
  local target="$1"
  shift
  for _ in 1 2 3 4 5; do
    xdotool windowfocus --sync "$target" "$@" 2>/dev/null && return 0
    sleep 0.3
  done
  xdotool windowfocus --sync "$target" "$@"
}

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
send "$box" key Return
sleep 1

window="$(xdotool search --onlyvisible --name '^Kalvo - ' | head -n 1)"
import -window "$window" "$out"
echo "screenshot: $out"
grep -c . "$work/crp_report.txt" >/dev/null && echo "screenshot: the run appended its report to crp_report.txt"

# Waits up to a minute for a visible window whose title matches $1 and prints its id.
wait_window() {
  local found=""
  for _ in $(seq 600); do
    found="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)"
    [ -n "$found" ] && { echo "$found"; return 0; }
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "screenshot: no window named $1 within a minute" >&2
  cat "$work/app.log" >&2
  return 1
}

# New Analysis (Ctrl+Shift+N): the sequence field has the focus; the output folder follows it.
# The key can be lost while the window takes the focus back from the message box: pressed again then.
form=""
for _ in 1 2 3 4 5; do
  send "$window" key ctrl+shift+n
  for _ in $(seq 20); do
    form="$(xdotool search --onlyvisible --name '^New Analysis$' 2>/dev/null | head -n 1 || true)"
    [ -n "$form" ] && break 2
    sleep 0.1
  done
done
[ -n "$form" ] || { echo "screenshot: Ctrl+Shift+N opened no New Analysis form" >&2; cat "$work/app.log" >&2; exit 1; }
send "$form" type --delay 5 "$work/crp0.fa"
sleep 0.5
import -window "$form" "$out_form"
echo "screenshot: $out_form"

# Start, then the results window replaces the form once the analysis has written crp0.kalvo.
send "$form" key Return
results="$(wait_window '^Kalvo - .*crp0\.kalvo')"
sleep 1
[ -f "$work/crp0.kalvo/summary.json" ] || { echo "screenshot: the analysis wrote no summary.json" >&2; exit 1; }
import -window "$results" "$out_analysis"
echo "screenshot: $out_analysis"
