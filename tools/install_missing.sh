#!/usr/bin/env bash
# tools/install_missing.sh WHO ITEM...: installs the Debian packages of the items that are missing.
# An ITEM is a package name (present when dpkg has it installed) or COMMAND=PACKAGE (present
# when COMMAND is on the PATH, wherever it came from). Installs with apt-get, as root or through
# sudo, and says so first under the name WHO. When it cannot (neither root nor sudo), or apt-get
# fails, it prints the line to run as root and exits with status 1; without apt-get it says so
# and exits with status 1.
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

# What to run by hand when this script cannot install: the same two steps, as root.
root_line="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
give_up() {  # give_up REASON
  echo "$who: missing ${missing[*]}; $1." >&2
  echo "$who: as root, run:" >&2
  echo "  $root_line" >&2
  echo "$who: then run this command again." >&2
  exit 1
}

if ! command -v apt-get >/dev/null 2>&1; then
  echo "$who: missing ${missing[*]}; apt-get is not available here: install them with this system's package manager." >&2
  exit 1
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || give_up "installing them needs root, and sudo is not available"
  sudo="sudo"
fi
echo "$who: installing ${missing[*]}"
$sudo apt-get update -q || give_up "apt-get update failed"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" ||
  give_up "apt-get install failed"
