#!/usr/bin/env python3
"""Accuracy and speed benchmark of `kalvo match`, run by hand.

Makes query motifs whose source is known with the motif benchmark kit's
resample_motifs.py (300 profiles of the bundled JASPAR 2024 collection, 30 sites
each, ragged ends, half reverse-complemented, seed 77), names them with `kalvo
match` against the whole collection, and reports how often the source is the
best match and among the best three, with the wall time and peak resident
memory of the match process. Then 100 random motifs (columns drawn from a
Dirichlet distribution, widths 6 to 20, 30 sites) are matched, and the number
that get any match with q <= 0.05 is reported: a motif of no known factor
should rarely be named.

    bench/match_accuracy.py
    bench/match_accuracy.py --similarity pearson --jobs 1
    bench/match_accuracy.py --alpha 5 --workdir /tmp/match-bench

The kit is found next to the repository (../shared/bench) unless --kit says
otherwise. Exit status: 0 when every goal is met, 1 when one is not, 2 on a
setup error.
"""

import argparse
import glob
import os
import random
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GOALS = {"first": 0.70, "top3": 0.85, "seconds": 10.0, "random_named": 5}


def run_timed(command):
    """Runs a command; returns its wall time in seconds and peak resident memory in MB."""
    start = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("bench: %s failed" % " ".join(command))
    return seconds, usage.ru_maxrss / 1024.0


def read_table(path):
    """The rows of a match table, grouped by query, in order."""
    rows = {}
    with open(path) as table:
        header = table.readline().rstrip("\n").split("\t")
        for line in table:
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            rows.setdefault(row["query"], []).append(row)
    return rows


def write_random_motifs(path, count, alpha, seed):
    rng = random.Random(seed)
    with open(path, "w") as out:
        out.write("MEME version 4\n\nALPHABET= ACGT\n\nstrands: + -\n\n"
                  "Background letter frequencies\nA 0.25 C 0.25 G 0.25 T 0.25\n\n")
        for k in range(count):
            width = rng.randint(6, 20)
            out.write("MOTIF r%d\nletter-probability matrix: alength= 4 w= %d nsites= 30 E= 0\n" % (k + 1, width))
            for _ in range(width):
                draws = [rng.gammavariate(alpha, 1.0) for _ in range(4)]
                out.write(" ".join("%.6f" % (x / sum(draws)) for x in draws) + "\n")
            out.write("\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--kalvo", default=os.path.join(REPO, "build", "app", "cli", "kalvo"))
    ap.add_argument("--kit", default=os.path.join(REPO, "..", "shared", "bench"))
    ap.add_argument("--database", default=os.path.join(REPO, "data", "motifs", "jaspar2024"))
    ap.add_argument("--queries", type=int, default=300)
    ap.add_argument("--sites", type=int, default=30)
    ap.add_argument("--seed", type=int, default=77)
    ap.add_argument("--random", type=int, default=100, help="random motifs (default 100)")
    ap.add_argument("--alpha", type=float, default=1.0, help="Dirichlet parameter of each letter (default 1)")
    ap.add_argument("--similarity", default="pearson-llr")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--workdir")
    a = ap.parse_args()
    resample = os.path.join(a.kit, "resample_motifs.py")
    profiles = sorted(glob.glob(os.path.join(a.database, "*.txt")))
    profiles = [p for p in profiles if os.path.basename(p) != "LICENSE.txt"]
    if not os.path.exists(a.kalvo) or not os.path.exists(resample) or not profiles:
        print("bench: needs %s, %s and the profiles in %s" % (a.kalvo, resample, a.database), file=sys.stderr)
        return 2
    work = a.workdir or tempfile.mkdtemp(prefix="kalvo-match-")
    os.makedirs(work, exist_ok=True)
    queries = os.path.join(work, "queries")
    subprocess.run([sys.executable, resample, *profiles, "--queries", str(a.queries), "--sites", str(a.sites),
                    "--seed", str(a.seed), "-o", queries], check=True, stderr=subprocess.DEVNULL)
    named = os.path.join(work, "queries.matches.tsv")
    common = ["--similarity", a.similarity, "-j", str(a.jobs), "-q"]
    seconds, memory = run_timed([a.kalvo, "match", queries + ".meme", "--top", "3", "--evalue", "1e300",
                                 "-o", named] + common)
    truth = {}
    with open(queries + ".truth.tsv") as table:
        next(table)
        for line in table:
            query, source, _ = line.rstrip("\n").split("\t")
            truth[query] = source
    rows = read_table(named)
    first = sum(1 for q, s in truth.items() if rows.get(q) and rows[q][0]["target_id"] == s) / len(truth)
    top3 = sum(1 for q, s in truth.items() if any(r["target_id"] == s for r in rows.get(q, [])[:3])) / len(truth)
    noise = os.path.join(work, "random.meme")
    write_random_motifs(noise, a.random, a.alpha, a.seed)
    noise_named = os.path.join(work, "random.matches.tsv")
    run_timed([a.kalvo, "match", noise, "--top", "1", "--qvalue", "0.05", "-o", noise_named] + common)
    random_named = len(read_table(noise_named))
    results = [
        ("source named first", "%.1f%%" % (100 * first), ">= %.0f%%" % (100 * GOALS["first"]), first >= GOALS["first"]),
        ("source in the top 3", "%.1f%%" % (100 * top3), ">= %.0f%%" % (100 * GOALS["top3"]), top3 >= GOALS["top3"]),
        ("time, %d queries" % len(truth), "%.2f s" % seconds, "< %.0f s" % GOALS["seconds"], seconds < GOALS["seconds"]),
        ("peak memory", "%.0f MB" % memory, "", True),
        ("random motifs named (q <= 0.05)", "%d of %d" % (random_named, a.random),
         "<= %d" % GOALS["random_named"], random_named <= GOALS["random_named"]),
    ]
    print("| measure | %s, %d jobs | goal |" % (a.similarity, a.jobs))
    print("|---|---|---|")
    for name, value, goal, met in results:
        print("| %s | %s | %s%s |" % (name, value, goal, "" if met else " (missed)"))
    print("files in %s" % work, file=sys.stderr)
    return 0 if all(met for *_, met in results) else 1


if __name__ == "__main__":
    sys.exit(main())
