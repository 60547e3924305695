#!/usr/bin/env python3
"""Writes COUNT FASTA files of random DNA, each sequence carrying one copy of a
planted motif (a few bases mutated, either strand), for trying the workflow at
scale. Usage: make_planted_inputs.py [--gzip] OUTDIR [COUNT] [SEQUENCES] [LENGTH] [SEED]
With --gzip the files are written gzip-compressed (plantedNN.fa.gz)."""

import gzip
import os
import random
import sys

MOTIF = "TGTGATCTAGATCACA"
COMPLEMENT = str.maketrans("ACGT", "TGCA")


def main():
    args = sys.argv[1:]
    compress = "--gzip" in args
    args = [a for a in args if a != "--gzip"]
    if not 1 <= len(args) <= 5:
        sys.exit(__doc__)
    out = args[0]
    count, sequences, length, seed = (int(a) for a in (args[1:] + ["20", "30", "200", "1"][len(args) - 1:]))
    rng = random.Random(seed)
    os.makedirs(out, exist_ok=True)
    for i in range(1, count + 1):
        path = os.path.join(out, f"planted{i:02d}.fa")
        with (gzip.open(path + ".gz", "wt") if compress else open(path, "w")) as f:
            for s in range(1, sequences + 1):
                bases = [rng.choice("ACGT") for _ in range(length)]
                site = list(MOTIF)
                for _ in range(2):
                    site[rng.randrange(len(site))] = rng.choice("ACGT")
                site = "".join(site)
                if rng.random() < 0.5:
                    site = site.translate(COMPLEMENT)[::-1]
                at = rng.randrange(length - len(site))
                bases[at:at + len(site)] = site
                text = "".join(bases)
                f.write(f">seq{s} site_at {at + 1}\n")
                for k in range(0, len(text), 80):
                    f.write(text[k:k + 80] + "\n")


if __name__ == "__main__":
    main()
