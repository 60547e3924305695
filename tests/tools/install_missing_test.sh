#!/usr/bin/env bash
# tests/tools/install_missing_test.sh SCRIPT: the install helper of the quick start as users meet it, on a
# PATH of stand-ins: a user who is not root and has no sudo, one who has sudo, root, and a failing apt-get.
#   bash tests/tools/install_missing_test.sh tools/install_missing.sh
set -u
script="$(realpath "$1")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The commands the helper runs, each a stand-in: `id` says the user's number, dpkg-query knows no
# package, apt-get and sudo note how they were called in calls.log.
make_path() {  # make_path DIR UID APT_STATUS [sudo]
  local dir="$1"
  mkdir -p "$dir"
  printf '#!/bin/sh\necho %s\n' "$2" >"$dir/id"
  printf '#!/bin/sh\nexit 1\n' >"$dir/dpkg-query"
  printf '#!/bin/sh\necho "apt-get $*" >>"%s/calls.log"\nexit %s\n' "$dir" "$3" >"$dir/apt-get"
  if [ "${4:-}" = sudo ]; then
    printf '#!/bin/sh\necho "sudo $*" >>"%s/calls.log"\nexec "$@"\n' "$dir" >"$dir/sudo"
  fi
  ln -s "$(command -v grep)" "$dir/grep"
  chmod +x "$dir"/*
}

run_helper() {  # run_helper DIR ITEM...: sets status and said
  local dir="$1"
  shift
  said="$(PATH="$dir" /bin/bash "$script" tests "$@" 2>&1)"
  status=$?
}

# Neither root nor sudo: the exact line to run as root, status 1, and apt-get never reached.
make_path "$work/user" 1000 0
run_helper "$work/user" id=coreutils libfoo-dev bar=barpkg
[ "$status" -eq 1 ] || fail "no sudo: status $status, not 1: $said"
grep -qxF '  apt-get update && apt-get install -y --no-install-recommends libfoo-dev barpkg' <<<"$said" ||
  fail "no sudo: no line to run as root: $said"
grep -q 'sudo is not available' <<<"$said" || fail "no sudo: the reason is not given: $said"
[ ! -e "$work/user/calls.log" ] || fail "no sudo: apt-get was run: $(cat "$work/user/calls.log")"

# Nothing missing: nothing said, nothing run, status 0.
run_helper "$work/user" id=coreutils grep=grep
[ "$status" -eq 0 ] && [ -z "$said" ] || fail "nothing missing: status $status: $said"

# A user with sudo installs through it; root installs directly.
make_path "$work/sudoer" 1000 0 sudo
run_helper "$work/sudoer" libfoo-dev
[ "$status" -eq 0 ] || fail "sudo: status $status: $said"
grep -q '^sudo apt-get install .*libfoo-dev' "$work/sudoer/calls.log" || fail "sudo: apt-get not run through sudo"
make_path "$work/root" 0 0
run_helper "$work/root" libfoo-dev
[ "$status" -eq 0 ] || fail "root: status $status: $said"
grep -q '^apt-get install .*libfoo-dev' "$work/root/calls.log" || fail "root: apt-get install not run"

# apt-get fails: status 1 with the line to run as root, never apt-get's own status.
make_path "$work/broken" 0 100
run_helper "$work/broken" libfoo-dev
[ "$status" -eq 1 ] || fail "failing apt-get: status $status, not 1: $said"
grep -q 'apt-get update failed' <<<"$said" || fail "failing apt-get: not told: $said"

# No apt-get at all: said so, status 1.
make_path "$work/other" 0 0
rm "$work/other/apt-get"
run_helper "$work/other" libfoo-dev
[ "$status" -eq 1 ] && grep -q 'apt-get is not available' <<<"$said" || fail "no apt-get: status $status: $said"

[ "$failures" -eq 0 ] && echo "install_missing: all cases pass"
exit $((failures > 0))
