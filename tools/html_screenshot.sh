#!/usr/bin/env bash
# tools/html_screenshot.sh [DIR] [OUT.png]: a picture of a discovery's index.html as headless Chromium draws it.
# DIR is a `kalvo discover` output folder; without it, one is made in a scratch folder from
# examples/crp0.fa (width 22, seed 1). OUT defaults to DIR/../index.png for a given DIR, else to
# build/crp-index.png. The window is 1280 x 2400 pixels (KALVO_SHOT_SIZE=W,H changes it); what lies
# below is cut off. Installs Debian's chromium when it is missing (as root or with sudo) and builds
# kalvo when a folder has to be made and the program is missing (KALVO_BUILD_DIR, default build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${KALVO_BUILD_DIR:-$root/build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
size="${KALVO_SHOT_SIZE:-1280,2400}"

if [ ! -x /usr/bin/chromium ]; then
  echo "html_screenshot: installing chromium"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends chromium
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if [ $# -ge 1 ]; then
  dir="$(cd "$1" && pwd)"
  out="${2:-$(dirname "$dir")/index.png}"
else
  program="$build/app/cli/kalvo"
  if [ ! -x "$program" ]; then
    echo "html_screenshot: building kalvo in $build"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" -j2 --target kalvo
  fi
  dir="$work/crp0.kalvo"
  "$program" discover "$root/examples/crp0.fa" --width 22 --output-dir "$dir" --seed 1 --quiet >/dev/null
  out="${2:-$build/crp-index.png}"
fi
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
if [ ! -f "$dir/index.html" ]; then
  echo "html_screenshot: no index.html in $dir" >&2
  exit 1
fi

# No network, no profile of the user's, nothing kept.
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync --disable-dev-shm-usage \
  --hide-scrollbars --force-color-profile=srgb --user-data-dir="$work/profile" \
  --screenshot="$out" --window-size="$size" "file://$dir/index.html" >"$work/chromium.log" 2>&1 || {
  echo "html_screenshot: chromium failed:" >&2
  tail -n 20 "$work/chromium.log" >&2
  exit 1
}
if [ ! -s "$out" ]; then
  echo "html_screenshot: chromium wrote no picture" >&2
  tail -n 20 "$work/chromium.log" >&2
  exit 1
fi
echo "html_screenshot: $out"
