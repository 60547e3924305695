#!/usr/bin/env bash
# Runs the discovery workflow end to end on three small inputs and checks what it gathered:
#  1. summary.tsv holds one row per motif each discovery reports, read from its
#     summary.json, and none for an input without a significant motif; the planted
#     motif is found in a plain and in a gzip'd input; index.html shows every input,
#     the logos it points to exist, and the motif-less input reads "no significant motif";
#  2. a dry run of a larger configuration plans one job per input and width set,
#     and a bad setting stops the workflow before any job, naming the key;
#  3. a job whose input is missing fails the workflow with kalvo's own message,
#     while under --keep-going the other inputs' discoveries are still written;
#  4. running the workflow leaves no new untracked file in the repository.
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

# Files the workflow could leave in the repository: under workflow/ or at its top level.
untracked() {
  if command -v git >/dev/null && git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$root" ls-files --others --exclude-standard --directory | grep -E '^(workflow/|[^/]*/?$)' | sort || true
  fi
}
untracked > untracked.before

# Two inputs with the planted motif (one gzip'd) and one of random sequences only,
# enough of them (40 or more) that kalvo tests its motifs on held-out sequences.
python3 "$root/workflow/scripts/make_planted_inputs.py" in 2 20 150 7
gzip in/planted02.fa
python3 - <<'EOF'
import random
rng = random.Random(11)
with open("in/random.fa", "w") as f:
    for s in range(45):
        f.write(f">r{s}\n{''.join(rng.choice('ACGT') for _ in range(150))}\n")
EOF

cat > small.yaml <<EOF
inputs: [in/planted01.fa, in/planted02.fa.gz, in/random.fa]
input_dir: ""
widths: ["12,16", 8]
restarts: 3
iterations: 100
motifs: 2
seed: 4000000000
kalvo: $kalvo
threads: 2
results: results
EOF

echo "workflow test: full run on three inputs"
snakemake -s "$snakefile" --configfile small.yaml --cores 2 > run.log 2>&1 \
  || { cat run.log >&2; fail "the workflow run failed"; }

python3 - <<'EOF' || fail "the gathered summary does not match the discoveries"
import csv, json, os, sys

PLANTED = "TGTGATCTAGATCACA"
PLANTED_RC = PLANTED.translate(str.maketrans("ACGT", "TGCA"))[::-1]

def planted(consensus):
    """The consensus is the planted motif or a part of it, on either strand, maybe shifted by a base or two."""
    need = min(len(consensus), 12) - 2
    return any(consensus[i:i + need] in PLANTED + " " + PLANTED_RC for i in range(len(consensus) - need + 1))

rows = list(csv.DictReader(open("results/summary.tsv"), delimiter="\t"))
errors = []
expected = []
for name in ("planted01", "planted02", "random"):
    for widthset, widths in (("w12-16", "12,16"), ("w8", "8")):
        folder = f"results/{name}/{widthset}"
        summary = json.load(open(f"{folder}/summary.json"))
        if summary["seed"] != 4000000000 or summary["parameters"]["restarts"] != 3:
            errors.append(f"{folder}: not run with the configured seed and restarts")
        if not os.path.isfile(f"{folder}/index.html") or not os.path.isfile(f"results/logs/{name}-{widthset}.log"):
            errors.append(f"{folder}: no index.html or no log")
        for m in summary["motifs"]:
            expected.append({"input": name, "widths": widths, "rank": str(m["rank"]),
                             "consensus": m["consensus"], "width": str(m["width"]),
                             "evalue": m["evalue"], "sites": str(m["sites"]),
                             "found_by": str(m["found_by"]), "restarts": str(m["restarts"])})
if rows != expected:
    errors.append(f"summary rows\n{rows}\ninstead of\n{expected}")
for r in rows:
    if int(r["sites"]) == 0 or set(r["consensus"]) == {"A"}:
        errors.append(f"a non-result is listed: {r}")
for name in ("planted01", "planted02"):
    top = [r for r in rows if r["input"] == name and r["rank"] == "1"]
    if len(top) != 2 or not all(planted(r["consensus"]) for r in top):
        errors.append(f"{name}: the planted motif is not the top motif: {top}")
if any(r["input"] == "random" for r in rows):
    errors.append("the random input has rows although nothing was planted there")

index = open("results/index.html", encoding="utf-8").read()
for widthset in ("w12-16", "w8"):
    section = index.split(f'<h2 id="random-{widthset}">')[1].split("<h2")[0]
    if "no significant motif" not in section:
        errors.append(f"index.html does not show 'no significant motif' for random {widthset}")
for name in ("planted01", "planted02"):
    if f'href="{name}/w12-16/index.html"' not in index:
        errors.append(f"index.html does not link the discovery page of {name}")
images = [part.split('"')[0] for part in index.split('<img class="logo" src="')[1:]]
# Each motif's logo, the top ones twice (the overview and their input's section).
if len(set(images)) != len(rows) or not all(os.path.isfile(f"results/{p}") for p in images):
    errors.append(f"index.html shows logos {images} for {len(rows)} motifs")
if errors:
    sys.exit("\n".join(errors))
EOF

# A second run has nothing left to do.
snakemake -s "$snakefile" --configfile small.yaml --cores 2 -n > again.log 2>&1 || fail "dry rerun failed"
grep -q "Nothing to be done" again.log || { cat again.log >&2; fail "a finished workflow was planned again"; }

echo "workflow test: dry run of a larger configuration"
mkdir many
for i in 1 2 3 4; do cp in/planted01.fa "many/input$i.fasta"; done
cp in/planted02.fa.gz many/input5.fa.gz
echo "not a FASTA file" > many/notes.txt
cat > large.yaml <<EOF
inputs: [in/random.fa]
input_dir: many
widths: ["8,12", 16, [10, 14]]
kalvo: $kalvo
results: large
EOF
snakemake -s "$snakefile" --configfile large.yaml --cores 2 -n > dry.log 2>&1 || { cat dry.log >&2; fail "the dry run failed"; }
# 6 inputs x 3 width sets discovery jobs, the gathering and the final target.
grep -Eq '^discover +18( |$)' dry.log || { cat dry.log >&2; fail "the dry run does not plan 18 discovery jobs"; }
grep -Eq '^total +20( |$)' dry.log || { cat dry.log >&2; fail "the dry run does not plan 20 jobs in all"; }
grep -q "large/input5/w10-14/summary.json" dry.log || { cat dry.log >&2; fail "the gzip'd input is not planned"; }
[ ! -e large ] || fail "the dry run wrote results"
if snakemake -s "$snakefile" --configfile large.yaml --config 'widths=[1]' --cores 2 -n > badwidth.log 2>&1; then
  fail "a width of 1 was accepted"
fi
grep -q "config 'widths': 1 is not a motif width of at least 2" badwidth.log \
  || { cat badwidth.log >&2; fail "a bad width is not named"; }

echo "workflow test: a missing input fails its job only"
cat > broken.yaml <<EOF
inputs: [in/planted01.fa, in/missing.fa, in/random.fa]
widths: [8]
restarts: 2
iterations: 50
kalvo: $kalvo
threads: 1
results: broken
EOF
if snakemake -s "$snakefile" --configfile broken.yaml --cores 2 --keep-going > broken.log 2>&1; then
  cat broken.log >&2; fail "the workflow succeeded although an input is missing"
fi
grep -q "cannot open sequence file 'in/missing.fa'" broken.log \
  || { cat broken.log >&2; fail "kalvo's message about the missing input is not shown"; }
for name in planted01 random; do
  for f in summary.json index.html motifs.meme; do
    [ -s "broken/$name/w8/$f" ] || fail "broken/$name/w8/$f was not written under --keep-going"
  done
done
[ ! -e broken/missing/w8/summary.json ] || fail "the failed job left a summary behind"
[ ! -e broken/summary.tsv ] || fail "a summary was written although a job failed"

untracked > untracked.after
if ! cmp -s untracked.before untracked.after; then
  diff untracked.before untracked.after >&2 || true
  fail "the workflow left untracked files in the repository"
fi

echo "workflow test: passed"
