#!/usr/bin/env bash
# Runs kalvo on large or oddly shaped generated inputs and checks the peak
# resident memory against the goal of 50 MB plus 32 bytes per residue, headers
# included; the report block is left out, since it holds a site's header line
# once per site and is as long as the user's input makes it:
#   - many.fa:  about 100 MB of FASTA, sequences of 1000 residues in lines of 60;
#   - one.fa:   a single sequence of 50 million residues, in lines of 60;
#   - header05: one sequence of 20,000 residues under a header of 0.5 MB;
#   - header2:  one sequence of 40,000 residues under a header of 2 MB;
#   - tiny1:    a million sequences of one residue each, width 1;
#   - tiny8:    the same at width 8, which is refused: no sequence is long enough.
#   bash tests/catalogue/large_inputs.sh [KALVO] [ITERATIONS]
# KALVO defaults to build/app/cli/kalvo; ITERATIONS (of many and one) to 1; the
# other cases run 5. The inputs are made in a scratch folder and removed
# afterwards; nothing is committed.
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

# One sequence under a header of '>' and HEADER_BYTES letters x, residues as above.
generate_long_header() {  # generate_long_header HEADER_BYTES RESIDUES > file
  awk -v header="$1" -v len="$2" 'BEGIN {
    x = 12345; split("A C G T", b, " ");
    line = "x"; while (length(line) < header) line = line line;
    print ">" substr(line, 1, header); line = "";
    for (i = 1; i <= len; i++) {
      x = (x * 1103515245 + 12345) % 2147483648;
      line = line b[int(x / 65536) % 4 + 1];
      if (length(line) == 60) { print line; line = "" }
    }
    if (line != "") print line;
  }'
}

# SEQUENCES sequences of one residue each, under headers ">s1", ">s2", ...
generate_tiny() {  # generate_tiny SEQUENCES > file
  awk -v seqs="$1" 'BEGIN { for (i = 1; i <= seqs; i++) printf ">s%d\n%s\n", i, substr("ACGT", i % 4 + 1, 1) }'
}

status=0
check() {  # check NAME FASTA RESIDUES WIDTH ITERATIONS [refused]
  local name="$1" fasta="$2" residues="$3" width="$4" rounds="$5" expect="${6:-runs}"
  printf -- '-i\n%s\n-o\n%s.report.txt\n-w\n%s\n-n\n%s\n' "$fasta" "$name" "$width" "$rounds" > "$name.params"
  local start=$SECONDS exit_status=0
  /usr/bin/time -v "$kalvo" run "$name.params" --seed 1 --quiet >/dev/null 2> "$name.time" || exit_status=$?
  local peak_kb goal_kb block_kb
  peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$name.time")
  block_kb=0
  [ -f "$name.report.txt" ] && block_kb=$(( $(stat -c %s "$name.report.txt") / 1024 ))
  goal_kb=$(( (50 * 1000 * 1000 + 32 * residues) / 1024 ))
  printf 'large_inputs: %-8s %11d residues, w %2d, %3d s, peak %6d MB, report block %5d MB, goal %6d MB: ' \
    "$name" "$residues" "$width" $((SECONDS - start)) $((peak_kb / 1024)) $((block_kb / 1024)) $((goal_kb / 1024))
  if [ "$expect" = refused ] && [ "$exit_status" -eq 0 ]; then
    echo "ran, but should have been refused"; status=1; return
  fi
  if [ "$expect" != refused ] && [ "$exit_status" -ne 0 ]; then
    echo "FAILED (exit status $exit_status)"; grep '^kalvo:' "$name.time" >&2 || true; status=1; return
  fi
  if [ $((peak_kb - block_kb)) -le "$goal_kb" ]; then echo "within"; else echo "OVER"; status=1; fi
  rm -f "$name.report.txt"
}

generate 100000 1000 > many.fa
check many many.fa 100000000 12 "$iterations"
rm many.fa
generate 1 50000000 > one.fa
check one one.fa 50000000 12 "$iterations"
rm one.fa
generate_long_header 500000 20000 > header05.fa
check header05 header05.fa 20000 8 5
rm header05.fa
generate_long_header 2000000 40000 > header2.fa
check header2 header2.fa 40000 8 5
rm header2.fa
generate_tiny 1000000 > tiny.fa
check tiny1 tiny.fa 1000000 1 5
check tiny8 tiny.fa 1000000 8 5 refused
exit $status
