#!/usr/bin/env bash
# Runs `kalvo discover` on two large generated inputs and checks the peak resident
# memory against the goal a run has, 50 MB plus 32 bytes per residue:
#   - one:  a single sequence of 50 million residues, in lines of 60;
#   - many: 200,000 sequences of 100 residues, half of them holding TGACGTCATGCA.
# Each discovery is one restart of two iterations at width 12 (the work that does
# not grow with the iterations: reading, controls, scans, site calls), or with
# `full` the default discovery (widths 8, 12, 16, 8 restarts of 500 iterations,
# up to 3 motifs) with two jobs.
#   bash tests/discover/large_discoveries.sh [KALVO] [full]
# KALVO defaults to build/app/cli/kalvo. The inputs are made in a scratch folder
# and removed afterwards; nothing is committed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
kalvo="$(realpath "${1:-$root/build/app/cli/kalvo}")"
settings=(-w 12 --restarts 1 -n 2 --motifs 1 -j 1)
[ "${2:-}" = full ] && settings=(-j 2)
[ -x "$kalvo" ] || { echo "large_discoveries: no program at $kalvo (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "large_discoveries: needs /usr/bin/time (Debian package time)" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# SEQUENCES sequences of LENGTH residues from the top bits of a fixed linear congruential stream, in
# lines of 60;
# with PLANT 1 every other sequence holds the word at a place drawn from the same stream.
generate() {  # generate SEQUENCES LENGTH PLANT > file
  awk -v seqs="$1" -v len="$2" -v plant="$3" 'BEGIN {
    x = 12345; split("A C G T", b, " "); word = "TGACGTCATGCA";
    for (s = 1; s <= seqs; s++) {
      printf ">seq%d\n", s; line = ""; at = -1;
      if (plant && s % 2 == 1) { x = (x * 1103515245 + 12345) % 2147483648; at = int(x / 65536) % (len - 12) + 1 }
      for (i = 1; i <= len; i++) {
        if (i == at) { line = line word; i += 11 }
        else { x = (x * 1103515245 + 12345) % 2147483648; line = line b[int(x / 536870912) + 1] }
        while (length(line) >= 60) { print substr(line, 1, 60); line = substr(line, 61) }
      }
      if (line != "") print line;
    }
  }'
}

status=0
check() {  # check NAME FASTA RESIDUES
  local name="$1" fasta="$2" residues="$3" exit_status=0
  /usr/bin/time -v "$kalvo" discover "$fasta" "${settings[@]}" -o "$name.kalvo" -q > "$name.out" 2> "$name.time" ||
    exit_status=$?
  local peak_kb wall goal_kb
  peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$name.time")
  wall=$(awk -F'): ' '/Elapsed \(wall clock\)/ {print $2}' "$name.time")
  goal_kb=$(( (50 * 1000 * 1000 + 32 * residues) / 1024 ))
  printf 'large_discoveries: %-5s %11d residues, %s, peak %6d MB, goal %6d MB, folder %s: ' \
    "$name" "$residues" "$wall" $((peak_kb / 1024)) $((goal_kb / 1024)) "$(du -sh "$name.kalvo" | cut -f1)"
  if [ "$exit_status" -ne 0 ]; then
    echo "FAILED (exit status $exit_status)"; grep '^kalvo:' "$name.time" >&2 || true; status=1; return
  fi
  if [ "$peak_kb" -le "$goal_kb" ]; then echo "within"; else echo "OVER"; status=1; fi
}

generate 1 50000000 0 > one.fa
check one one.fa 50000000
rm -rf one.fa one.kalvo
generate 200000 100 1 > many.fa
check many many.fa 20000000
exit $status
