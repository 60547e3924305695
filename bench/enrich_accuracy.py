#!/usr/bin/env python3
"""Accuracy and speed benchmark of `kalvo enrich`, run by hand.

Runs the built program with the whole bundled JASPAR 2024 collection on:

  klf1     the Klf1 peaks (../shared/data/klf1.fa): a KLF/SP family profile
           (Three-zinc finger Kruppel-related) should come first;
  crp      the CRP promoters (../shared/data/crp0.fa): JASPAR CORE has no CRP
           profile, so nothing strong is expected;
  random   random sequences (500 x 200 bp, 50% GC, i.i.d.) with ten seeds:
           no motif should reach q <= 0.05;
  planted  sets made by the kit's gen_planted.py with a JASPAR profile's counts
           planted (500 x 200 bp, a site in 30% of the sequences, either
           strand), one per profile of six families: the planted profile's
           family should come first.

Each run's wall time and peak resident memory are measured with
/usr/bin/time -v. This machine has no internet, so no other real sets are used.

    bench/enrich_accuracy.py
    bench/enrich_accuracy.py --jobs 1 --workdir /tmp/enrich-bench

Exit status: 0 when every goal is met, 1 when one is not, 2 on a setup error.
"""

import argparse
import os
import random
import re
import subprocess
import sys
import tempfile

REPO = os.path.dirname(os.path.abspath(__file__)) + "/.."
KLF_FAMILY = "Three-zinc finger Kruppel-related"
PLANTED = ["MA0139.2", "MA0047.4", "MA0018.5", "MA0106.3", "MA0080.7", "MA0035.5"]
GOALS = {"klf1_seconds": 5.0, "random_q": 0.05}


def run_timed(command):
    """Runs a command under /usr/bin/time -v; returns (seconds, peak MB)."""
    timed = ["/usr/bin/time", "-v"] + command
    result = subprocess.run(timed, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        sys.exit("bench: %s failed:\n%s" % (" ".join(command), result.stderr))
    seconds = memory = None
    for line in result.stderr.splitlines():
        line = line.strip()
        if line.startswith("Elapsed (wall clock)"):
            clock = line.rsplit(" ", 1)[1].split(":")
            seconds = sum(float(part) * 60 ** k for k, part in enumerate(reversed(clock)))
        elif line.startswith("Maximum resident set size"):
            memory = int(line.rsplit(" ", 1)[1]) / 1024.0
    return seconds, memory


def read_rows(folder):
    with open(os.path.join(folder, "enrich.tsv")) as table:
        header = table.readline().rstrip("\n").split("\t")
        return [dict(zip(header, line.rstrip("\n").split("\t"))) for line in table]


def read_profiles(folder):
    """JASPAR profiles of the bundled TRANSFAC files: id -> (name, family, count rows)."""
    profiles = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith("_transfac.txt"):
            continue
        with open(os.path.join(folder, name)) as text:
            current = None
            for line in text:
                fields = line.rstrip("\n").split("\t") if "\t" in line else line.split()
                if line.startswith("AC "):
                    current = {"id": line.split()[1], "rows": [], "family": "", "name": ""}
                elif current is None:
                    continue
                elif line.startswith("ID "):
                    current["name"] = line[3:].strip()
                elif re.match(r"^\d+\s", line):
                    current["rows"].append([float(x) for x in fields[1:5]])
                elif line.startswith("CC tf_family:"):
                    current["family"] = line.split(":", 1)[1].strip()
                elif line.startswith("//"):
                    profiles[current["id"]] = current
                    current = None
    return profiles


def write_counts(path, rows):
    with open(path, "w") as out:
        for k, base in enumerate("ACGT"):
            out.write("%s [ %s ]\n" % (base, " ".join("%g" % row[k] for row in rows)))


def write_random(path, seed, count=500, length=200):
    rng = random.Random(seed)
    with open(path, "w") as out:
        for i in range(count):
            out.write(">r%d\n%s\n" % (i, "".join(rng.choice("ACGT") for _ in range(length))))


def enrich(args, fasta, folder, *extra):
    command = [args.kalvo, "enrich", fasta, "-o", folder, "--force", "-q", "-j", str(args.jobs)] + list(extra)
    seconds, memory = run_timed(command)
    return read_rows(folder), seconds, memory


def describe(row):
    return "%s %s (%s), targets %s, controls %s, p %s, q %s" % (
        row["id"], row["name"], row["family"] or "no family", row["target_share"], row["control_share"], row["p"],
        row["q"])


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--kalvo", default=os.path.join(REPO, "build", "app", "cli", "kalvo"))
    ap.add_argument("--kit", default=os.path.join(REPO, "..", "shared", "bench"))
    ap.add_argument("--data", default=os.path.join(REPO, "..", "shared", "data"))
    ap.add_argument("--database", default=os.path.join(REPO, "data", "motifs", "jaspar2024"))
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--workdir", help="keep the files here (default: a temporary folder)")
    args = ap.parse_args()
    for path in (args.kalvo, os.path.join(args.kit, "gen_planted.py"), args.data, args.database):
        if not os.path.exists(path):
            print("bench: missing %s" % path, file=sys.stderr)
            return 2
    work = args.workdir or tempfile.mkdtemp(prefix="enrich-bench-")
    os.makedirs(work, exist_ok=True)
    failures = []

    rows, seconds, memory = enrich(args, os.path.join(args.data, "klf1.fa"), os.path.join(work, "klf1"))
    print("klf1: %.2f s, %.0f MB; first %s" % (seconds, memory, describe(rows[0])))
    klf_rank = next((k + 1 for k, row in enumerate(rows) if row["family"] == KLF_FAMILY), None)
    print("      KLF/SP family profiles in the top 10: %d" % sum(r["family"] == KLF_FAMILY for r in rows[:10]))
    if klf_rank != 1:
        failures.append("klf1: the KLF/SP family is first at rank %s" % klf_rank)
    if seconds > GOALS["klf1_seconds"]:
        failures.append("klf1: %.2f s, above %.0f s" % (seconds, GOALS["klf1_seconds"]))

    rows, seconds, memory = enrich(args, os.path.join(args.data, "crp0.fa"), os.path.join(work, "crp0"))
    strong = sum(float(row["q"]) <= 0.05 for row in rows)
    print("crp0: %.2f s, %.0f MB; %d motifs at q <= 0.05; first %s" % (seconds, memory, strong, describe(rows[0])))

    for seed in range(1, 11):
        fasta = os.path.join(work, "random%d.fa" % seed)
        write_random(fasta, seed)
        rows, seconds, memory = enrich(args, fasta, os.path.join(work, "random%d" % seed))
        named = sum(float(row["q"]) <= GOALS["random_q"] for row in rows)
        print("random seed %2d: %.2f s, %.0f MB; %d at q <= 0.05; best q %s (%s)" % (
            seed, seconds, memory, named, rows[0]["q"], rows[0]["id"]))
        if named:
            failures.append("random seed %d: %d motifs at q <= 0.05" % (seed, named))

    profiles = read_profiles(args.database)
    for k, pid in enumerate(PLANTED):
        profile = profiles[pid]
        counts = os.path.join(work, "%s.counts" % pid)
        write_counts(counts, profile["rows"])
        prefix = os.path.join(work, "planted-%s" % pid)
        subprocess.run([sys.executable, os.path.join(args.kit, "gen_planted.py"), "--pwm", counts, "--nseq", "500",
                        "--length", "200", "--zoops", "0.3", "--reverse-fraction", "0.5", "--seed", str(k + 1),
                        "-o", prefix], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rows, seconds, memory = enrich(args, prefix + ".fa", prefix + ".enrich")
        rank = next((r + 1 for r, row in enumerate(rows) if row["id"] == pid), None)
        first_family = rows[0]["family"] == profile["family"]
        print("planted %s %s (%s): %.2f s, %.0f MB; profile at rank %s; first %s" % (
            pid, profile["name"], profile["family"], seconds, memory, rank, describe(rows[0])))
        if not first_family:
            failures.append("planted %s: first is %s, not of the family %s" % (pid, rows[0]["id"], profile["family"]))

    print("files in %s" % work)
    for failure in failures:
        print("goal missed: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
