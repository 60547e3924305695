#!/usr/bin/env bash
# tools/install_missing.sh WHO ITEM...: installs the Debian packages of the items that are missing.
# An ITEM is a package name (present when dpkg has it installed) or COMMAND=PACKAGE (present
# when COMMAND is on the PATH, wherever it came from). Installs with apt-get, as root or through
# sudo, and says so first under the name WHO; fails when apt-get fails.
set -euo pipefail
who="$1"
shift
missing=()
for item in "$@"; do
  if [[ "$item" == *=* ]]; then
    command -v "${item%%=*}" >/dev/null 2>&1 || missing+=("${item#*=}")
  else
    dpkg-query -W -f='${Status}' "$item" 2>/dev/null | grep -q 'install ok installed' || missing+=("$item")
  fi
done
((${#missing[@]})) || exit 0
echo "$who: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
