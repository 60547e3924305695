#!/usr/bin/env bash
# Runs the workflow end to end on three tiny inputs and checks what it gathered:
#  1. the summary table agrees with the reports and logs of the jobs it read;
#  2. a dry run of a larger configuration plans one job per input and width;
#  3. a job whose input is missing fails the workflow with kalvo's own message,
#     while under --keep-going the other inputs' results are still written.
# Usage: run_workflow_test.sh [KALVO]   (default: build/app/cli/kalvo)
# Exits non-zero on the first failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
kalvo="$(realpath "${1:-$root/build/app/cli/kalvo}")"
snakefile="$root/workflow/Snakefile"
[ -x "$kalvo" ] || { echo "workflow test: no kalvo program at $kalvo" >&2; exit 1; }
command -v snakemake >/dev/null || { echo "workflow test: snakemake is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "workflow test FAILED: $*" >&2; exit 1; }

# Tiny inputs: a handful of short sequences sharing TGACGTCA.
python3 - <<'EOF'
import random
rng = random.Random(5)
for name in ("alpha", "beta", "gamma"):
    with open(f"{name}.fa", "w") as f:
        for s in range(5):
            seq = "".join(rng.choice("ACGT") for _ in range(40))
            at = rng.randrange(30)
            f.write(f">{name}{s}\n{seq[:at]}TGACGTCA{seq[at + 8:]}\n")
EOF

cat > small.yaml <<EOF
inputs: [alpha.fa, beta.fa, gamma.fa]
input_dir: ""
widths: [6, 8]
iterations: 40
repeats: 2
seed: 4000000000
formats: [json, svg, bed]
kalvo: $kalvo
threads: 2
results: results
EOF

echo "workflow test: full run on three inputs"
snakemake -s "$snakefile" --configfile small.yaml --cores 2 --quiet > run.log 2>&1 \
  || { cat run.log >&2; fail "the workflow run failed"; }

python3 - <<'EOF' || fail "the summary table does not match the reports"
import csv, os, re, sys

rows = list(csv.DictReader(open("results/summary.tsv"), delimiter="\t"))
expected = [(i, w, r) for i in ("alpha", "beta", "gamma") for w in ("6", "8") for r in ("1", "2")]
got = [(r["input"], r["width"], r["run"]) for r in rows]
if got != expected:
    sys.exit(f"rows {got} instead of {expected}")
seeds = {"1": 4000000000, "2": (4000000000 + 2654435761) % 2**32}
errors = []
for name in ("alpha", "beta", "gamma"):
    for width in ("6", "8"):
        folder = f"results/{name}/w{width}"
        report = open(f"{folder}/kalvo.txt", encoding="utf-8", newline="").read()
        # One block per run, in run order, each with its score and sites.
        scores = re.findall(r"Joint Loglikelihood: (\S+)\r\n", report)
        site_counts = re.findall(r"# of total putative sites: (\d+)\r\n", report)
        logged = re.findall(r"run (\d) of 2: .*, seed (\d+)", open(f"{folder}/kalvo.log").read())
        group = [r for r in rows if r["input"] == name and r["width"] == width]
        if len(scores) != 2 or len(site_counts) != 2:
            errors.append(f"{folder}: {len(scores)} report blocks instead of 2")
            continue
        for k, row in enumerate(group):
            run = row["run"]
            if int(row["seed"]) != seeds[run] or (run, row["seed"]) not in logged:
                errors.append(f"{folder} run {run}: seed {row['seed']}, logged {logged}")
            if f"{float(row['joint_log_likelihood']):.6f}" != scores[k]:
                errors.append(f"{folder} run {run}: score {row['joint_log_likelihood']} vs report {scores[k]}")
            if row["sites"] != site_counts[k]:
                errors.append(f"{folder} run {run}: {row['sites']} sites vs report {site_counts[k]}")
            if len(row["consensus"]) != int(width):
                errors.append(f"{folder} run {run}: consensus {row['consensus']!r}")
            for ext in ("json", "logo.svg", "bed"):
                if not os.path.isfile(f"{folder}/kalvo.run{run}.{ext}"):
                    errors.append(f"{folder}: no kalvo.run{run}.{ext}")
index = open("results/index.md").read()
for name in ("alpha", "beta", "gamma"):
    if f"]({name}/w8/kalvo.run2.logo.svg)" not in index:
        errors.append(f"index.md shows no logo of {name}")
if errors:
    sys.exit("\n".join(errors))
EOF

# A second run has nothing left to do.
snakemake -s "$snakefile" --configfile small.yaml --cores 2 -n > again.log 2>&1 || fail "dry rerun failed"
grep -q "Nothing to be done" again.log || { cat again.log >&2; fail "a finished workflow was planned again"; }

echo "workflow test: dry run of a larger configuration"
mkdir many
for i in 1 2 3 4 5; do cp alpha.fa "many/input$i.fasta"; done
echo "not a FASTA file" > many/notes.txt
cat > large.yaml <<EOF
inputs: [beta.fa]
input_dir: many
widths: [8, 10, 12, 14]
kalvo: $kalvo
results: large
EOF
snakemake -s "$snakefile" --configfile large.yaml --cores 2 -n > dry.log 2>&1 || { cat dry.log >&2; fail "the dry run failed"; }
# 6 inputs x 4 widths find jobs, one summary, one final target.
grep -Eq '^find +24( |$)' dry.log || { cat dry.log >&2; fail "the dry run does not plan 24 find jobs"; }
grep -Eq '^total +26( |$)' dry.log || { cat dry.log >&2; fail "the dry run does not plan 26 jobs in all"; }
[ ! -e large ] || fail "the dry run wrote results"

echo "workflow test: a missing input fails its job only"
cat > broken.yaml <<EOF
inputs: [alpha.fa, missing.fa, gamma.fa]
widths: [6]
iterations: 40
repeats: 1
kalvo: $kalvo
threads: 1
results: broken
EOF
if snakemake -s "$snakefile" --configfile broken.yaml --cores 2 --keep-going > broken.log 2>&1; then
  cat broken.log >&2; fail "the workflow succeeded although an input is missing"
fi
grep -q "cannot open sequence file 'missing.fa'" broken.log \
  || { cat broken.log >&2; fail "kalvo's message about the missing input is not shown"; }
for name in alpha gamma; do
  for f in kalvo.txt kalvo.json kalvo.logo.svg; do
    [ -s "broken/$name/w6/$f" ] || fail "broken/$name/w6/$f was not written under --keep-going"
  done
  grep -q "Joint Loglikelihood:" "broken/$name/w6/kalvo.txt" || fail "broken/$name/w6/kalvo.txt holds no report"
done
[ ! -e broken/missing/w6/kalvo.txt ] || fail "the failed job left a report behind"
[ ! -e broken/summary.tsv ] || fail "a summary was written although a job failed"

echo "workflow test: passed"
