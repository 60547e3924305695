#!/usr/bin/env bash
# Runs kalvo on two large generated inputs and checks the peak resident memory
# against the goal of 50 MB plus 32 bytes per residue:
#   - many.fa: about 100 MB of FASTA, sequences of 1000 residues in lines of 60;
#   - one.fa:  a single sequence of 50 million residues, in lines of 60.
#   bash tests/catalogue/large_inputs.sh [KALVO] [ITERATIONS]
# KALVO defaults to build/app/cli/kalvo; ITERATIONS to 1. The inputs are made
# in a scratch folder and removed afterwards; nothing is committed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
kalvo="$(realpath "${1:-$root/build/app/cli/kalvo}")"
iterations="${2:-1}"
[ -x "$kalvo" ] || { echo "large_inputs: no program at $kalvo (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "large_inputs: needs /usr/bin/time (Debian package time)" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# Residues from a fixed linear congruential stream: the same files every time.
generate() {  # generate SEQUENCES RESIDUES_EACH > file
  awk -v seqs="$1" -v len="$2" 'BEGIN {
    x = 12345; split("A C G T", b, " ");
    for (s = 1; s <= seqs; s++) {
      printf ">seq%d\n", s; line = "";
      for (i = 1; i <= len; i++) {
        x = (x * 1103515245 + 12345) % 2147483648;
        line = line b[int(x / 65536) % 4 + 1];
        if (length(line) == 60) { print line; line = "" }
      }
      if (line != "") print line;
    }
  }'
}

status=0
check() {  # check NAME FASTA RESIDUES
  local name="$1" fasta="$2" residues="$3"
  printf -- '-i\n%s\n-o\n%s.report.txt\n-w\n12\n-n\n%s\n' "$fasta" "$name" "$iterations" > "$name.params"
  local start=$SECONDS
  /usr/bin/time -v "$kalvo" run "$name.params" --seed 1 --quiet >/dev/null 2> "$name.time"
  local peak_kb goal_kb
  peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$name.time")
  goal_kb=$(( (50 * 1000 * 1000 + 32 * residues) / 1024 ))
  printf 'large_inputs: %-8s %11d residues, %3d s, peak %6d MB, goal %6d MB: ' \
    "$name" "$residues" $((SECONDS - start)) $((peak_kb / 1024)) $((goal_kb / 1024))
  if [ "$peak_kb" -le "$goal_kb" ]; then echo "within"; else echo "OVER"; status=1; fi
}

generate 100000 1000 > many.fa
check many many.fa 100000000
rm many.fa
generate 1 50000000 > one.fa
check one one.fa 50000000
exit $status
