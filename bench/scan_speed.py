#!/usr/bin/env python3
"""Speed and memory benchmark of `kalvo scan`, run by hand.

Writes a generated FASTA file of --mbp million residues (default 200: 10
sequences of random letters in 60-letter lines, each with a run of 5,000 N and a
soft-masked stretch, seed 11), then scans it with ten profiles of the bundled
JASPAR 2024 collection (CTCF, KLF1, GATA1, FOXA2, CREB1, TP53, REST, SP1, MAX,
JUN) and with CTCF alone, and the Klf1 peaks with KLF1 alone when the shared
data is there. Reports the wall time, the CPU time, Mbp/s, Mbp/s per motif (residues
times motifs over the wall time) and the peak resident memory of each scan (GNU
time's), with the number of sites written.

    bench/scan_speed.py
    bench/scan_speed.py --mbp 50 --jobs 1 --workdir /tmp/scan-bench

Exit status: 0 when the goals are met (100 Mbp/s per motif and under 100 MB
for the ten profiles), 1 when one is not, 2 on a setup error.
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEN = ["MA0139.2", "MA0493.3", "MA0035.5", "MA0047.4", "MA0018.5",
       "MA0106.3", "MA0138.3", "MA0079.5", "MA0058.4", "MA0488.2"]
GOALS = {"per_motif_mbps": 100.0, "memory_mb": 100.0}


def run_timed(command, output):
    """Runs a command with stdout to a file; wall seconds, CPU seconds and peak resident memory in MB.

    The memory is GNU time's: a child's own peak, not the benchmark's pages it was forked with."""
    measured = ["/usr/bin/time", "-f", "%M %U %S"] + command
    start = time.monotonic()
    with open(output, "wb") as out:
        finished = subprocess.run(measured, stdout=out, stderr=subprocess.PIPE, text=True)
    seconds = time.monotonic() - start
    if finished.returncode != 0:
        sys.exit("bench: %s failed: %s" % (" ".join(command), finished.stderr))
    kilobytes, user, system = finished.stderr.strip().splitlines()[-1].split()
    return seconds, float(user) + float(system), int(kilobytes) / 1024.0


def write_genome(path, mbp, seed):
    """Random letters, a run of N and a lower-case stretch in each of ten sequences."""
    rng = random.Random(seed)
    table = bytes.maketrans(bytes(range(256)), (b"ACGT" * 64))
    per_sequence = int(mbp * 1_000_000 / 10)
    with open(path, "wb") as out:
        for k in range(10):
            residues = bytearray(rng.randbytes(per_sequence).translate(table))
            residues[1000:6000] = b"N" * 5000
            residues[10000:20000] = residues[10000:20000].lower()
            out.write(b">chr%d generated\n" % (k + 1))
            for at in range(0, per_sequence, 60):
                out.write(residues[at:at + 60] + b"\n")


def count_lines(path):
    with open(path, "rb") as f:
        return sum(1 for _ in f)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kalvo", default=os.path.join(REPO, "build", "app", "cli", "kalvo"))
    parser.add_argument("--mbp", type=float, default=200.0, help="size of the generated FASTA (default 200)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--klf1", default=os.path.join(REPO, "..", "shared", "data", "klf1.fa"))
    parser.add_argument("--workdir", help="keep the files here (default: a temporary folder)")
    args = parser.parse_args()
    if not os.access(args.kalvo, os.X_OK):
        print("bench: no program at %s; build first" % args.kalvo, file=sys.stderr)
        return 2
    workdir = args.workdir or tempfile.mkdtemp(prefix="kalvo-scan-")
    os.makedirs(workdir, exist_ok=True)
    genome = os.path.join(workdir, "genome.fa")
    if not os.path.exists(genome) or os.path.getsize(genome) < args.mbp * 1_000_000:
        write_genome(genome, args.mbp, 11)
    cases = [("ten profiles, generated %g Mbp" % args.mbp, genome, TEN, args.mbp),
             ("CTCF, generated %g Mbp" % args.mbp, genome, TEN[:1], args.mbp)]
    if os.path.exists(args.klf1):
        residues = sum(len(line.strip()) for line in open(args.klf1) if not line.startswith(">"))
        cases.append(("KLF1, Klf1 peaks", args.klf1, ["MA0493.3"], residues / 1e6))
    print("| scan | motifs | wall | CPU | Mbp/s | Mbp/s per motif | peak memory | sites |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    met = True
    for label, fasta, motifs, mbp in cases:
        command = [args.kalvo, "scan", "jaspar", fasta, "-q", "-j", str(args.jobs)]
        for motif in motifs:
            command += ["--motif", motif]
        output = os.path.join(workdir, "sites.tsv")
        seconds, cpu, memory = run_timed(command, output)
        speed = mbp / seconds
        print("| %s | %d | %.2f s | %.2f s | %.0f | %.0f | %.0f MB | %d |"
              % (label, len(motifs), seconds, cpu, speed, speed * len(motifs), memory, count_lines(output) - 1))
        if len(motifs) == len(TEN):
            met = met and speed * len(motifs) >= GOALS["per_motif_mbps"] and memory < GOALS["memory_mb"]
    print("files in %s" % workdir)
    return 0 if met else 1


if __name__ == "__main__":
    sys.exit(main())
