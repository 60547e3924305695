#!/usr/bin/python3
"""tests/readers/check_readers.py: Kalvo's motif files read by the tools their users read them with.

Biopython's Bio.motifs reads the MEME, JASPAR and TRANSFAC files, `bedtools
getfasta -s` cuts the BED sites out of the sequences, and what they give is
compared with the plain-text report and the JSON document: matrix counts and
shares, the number of sites, motif ids unique over a batch or a discovery,
and every site's word on its strand.

    check_readers.py run-files KALVO FASTA        a batch of three runs: JASPAR, TRANSFAC, BED, JSON, MEME text
    check_readers.py run-meme KALVO FASTA         the same runs' MEME files read by Biopython
    check_readers.py discovery-files KALVO FASTA  a discovery: motifs.meme, motifs.jaspar, sites.bed, summary.json

Exit status: 0 when every check holds, 1 when one fails (each failure is
printed), 77 when a reader is missing or cannot read the format at all,
which ctest reports as skipped, with the reason on stdout.
"""

import json
import re
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
RUNS = 3
WIDTH = 22


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(SKIP)


try:
    import Bio
    from Bio import motifs
except ImportError:
    skip("Biopython is not installed for " + sys.executable + " (Debian: apt-get install python3-biopython)")

if shutil.which("bedtools") is None:
    skip("bedtools is not on PATH (Debian: apt-get install bedtools)")


class Checks:
    def __init__(self):
        self.failures = []
        self.count = 0

    def equal(self, what, got, expected):
        self.count += 1
        if got != expected:
            self.failures.append(f"{what}: got {got!r}, expected {expected!r}")

    def true(self, what, condition):
        self.count += 1
        if not condition:
            self.failures.append(what)

    def finish(self, title):
        if self.failures:
            print(f"{title}: {len(self.failures)} of {self.count} checks failed")
            for failure in self.failures:
                print("  " + failure)
            sys.exit(1)
        print(f"{title}: {self.count} checks passed (Biopython {Bio.__version__}, {bedtools_version()})")


def bedtools_version():
    return subprocess.run(["bedtools", "--version"], capture_output=True, text=True).stdout.strip()


def run(command, cwd):
    done = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        print("command failed: " + " ".join(command))
        print(done.stdout + done.stderr)
        sys.exit(1)
    return done.stdout


def read_report_blocks(path):
    """The blocks of a plain-text report: site count, matrix shares (2 decimals) and sites, in order."""
    blocks = []
    part = None
    with open(path) as report:
        for line in report:
            line = line.rstrip("\n")
            if line == "*************":
                blocks.append({"sites_count": None, "shares": [], "sites": []})
                part = "head"
            elif line.startswith("# of total putative sites: "):
                blocks[-1]["sites_count"] = int(line.split(": ")[1])
            elif line == "\tA\tC\tG\tT\tCon":
                part = "matrix"
            elif line == "Correlated positions:":
                part = "pairs"
            elif line == "Putative sites:":
                part = "sites"
            elif part == "matrix" and line:
                fields = line.split("\t")
                blocks[-1]["shares"].append([float(v) for v in fields[1:5]])
            elif part == "sites" and line:
                header, segment, strand, pos, word, score = line.split("\t")[:6]
                blocks[-1]["sites"].append({"header": header, "strand": strand, "pos": int(pos), "word": word})
    return blocks


def getfasta(fasta, bed, cwd):
    """bedtools getfasta -s -tab: the sequence of every BED line, on its strand, in the BED's order."""
    out = run(["bedtools", "getfasta", "-s", "-tab", "-fi", fasta, "-bed", bed], cwd)
    return [line.split("\t")[1] for line in out.splitlines() if line]


def column_counts(motif):
    """A Bio.motifs motif's counts as one list of A, C, G, T per column."""
    return [[motif.counts[letter][c] for letter in "ACGT"] for c in range(motif.length)]


def meme_ids(motif):
    """Every name Biopython gives a MEME motif (the id, and the alternate name where the version reads one)."""
    return {str(getattr(motif, attribute)) for attribute in ("id", "name", "alt_id") if getattr(motif, attribute, None)}


def check_meme_shares(checks, what, motif, shares, nsites):
    """Biopython turns MEME shares into counts (share times nsites, rounded or not): each within half a site."""
    for c, row in enumerate(column_counts(motif)):
        for b in range(4):
            checks.true(f"{what} column {c + 1} {'ACGT'[b]}: {row[b]} is not {shares[c][b]} x {nsites}",
                        abs(row[b] - shares[c][b] * nsites) <= 0.5 + 1e-6)


def batch_of_runs(kalvo, fasta, folder):
    """`kalvo find` with three runs in one batch, every matrix format and BED and JSON beside the report."""
    shutil.copy(fasta, os.path.join(folder, "crp0.fa"))
    run([kalvo, "find", "crp0.fa", "--width", str(WIDTH), "--repeats", str(RUNS), "--seed", "1",
         "--output", "crp.txt", "--formats", "meme,jaspar,transfac,bed,json", "--quiet"], folder)
    return read_report_blocks(os.path.join(folder, "crp.txt"))


def parse_one(path, fmt):
    with open(path) as handle:
        return list(motifs.parse(handle, fmt))


def check_run_files(kalvo, fasta):
    checks = Checks()
    with tempfile.TemporaryDirectory() as folder:
        blocks = batch_of_runs(kalvo, fasta, folder)
        checks.equal("report blocks", len(blocks), RUNS)
        ids = []
        for k, block in enumerate(blocks, start=1):
            stem = os.path.join(folder, f"crp.run{k}")
            with open(stem + ".json") as handle:
                doc = json.load(handle)
            checks.equal(f"run {k} JSON schema", doc.get("schema"), 2)
            checks.equal(f"run {k} JSON run", doc.get("run"), k)
            label = doc["motif"]
            checks.true(f"run {k} id {label['id']!r} names the run and the consensus",
                        label["id"] == f"run{k}-" + doc["motif"]["consensus"])
            checks.equal(f"run {k} name", label["name"], f"crp0.run{k}")
            ids.append(label["id"])
            counts = [column["counts"] for column in doc["motif"]["columns"]]
            checks.equal(f"run {k} JSON numSites", doc["numSites"], block["sites_count"])
            checks.equal(f"run {k} JSON strands are +/-, the report's f/r",
                         [s["strand"] for s in doc["sites"]],
                         ["+" if s["strand"] == "f" else "-" for s in block["sites"]])
            checks.equal(f"run {k} JSON site words", [s["word"] for s in doc["sites"]],
                         [s["word"] for s in block["sites"]])

            jaspar = parse_one(stem + ".jaspar", "jaspar")
            checks.equal(f"run {k} JASPAR motifs", len(jaspar), 1)
            checks.equal(f"run {k} JASPAR id", jaspar[0].matrix_id, label["id"])
            checks.equal(f"run {k} JASPAR name", jaspar[0].name, label["name"])
            checks.equal(f"run {k} JASPAR counts", column_counts(jaspar[0]), counts)

            transfac = parse_one(stem + ".transfac", "transfac")  # strict: two spaces, "01" rows, "P0 A C G T"
            checks.equal(f"run {k} TRANSFAC motifs", len(transfac), 1)
            checks.equal(f"run {k} TRANSFAC ID", transfac[0].get("ID"), label["id"])
            checks.equal(f"run {k} TRANSFAC NA", transfac[0].get("NA"), label["name"])
            checks.equal(f"run {k} TRANSFAC counts", column_counts(transfac[0]), counts)

            # Shares from the counts, as the report prints them (2 decimals); a run without sites prints 0.00.
            for c, row in enumerate(counts):
                total = sum(row)
                for b in range(4):
                    share = row[b] / total if total else 0.0
                    checks.true(f"run {k} column {c + 1}: count share {share} vs report {block['shares'][c][b]}",
                                abs(share - block["shares"][c][b]) <= 0.005 + 1e-9)

            with open(stem + ".meme") as handle:
                meme = handle.read()
            checks.true(f"run {k} MEME names the motif 'MOTIF {label['id']} {label['name']}'",
                        f"\nMOTIF {label['id']} {label['name']}\n" in meme)
            matrix_lines = [line for line in meme.splitlines() if line.startswith("letter-probability matrix:")]
            checks.equal(f"run {k} MEME matrix line", matrix_lines,
                         [f"letter-probability matrix: alength= 4 w= {WIDTH} nsites= {block['sites_count']}"])

            bed = os.path.join(folder, f"crp.run{k}.bed")
            with open(bed) as handle:
                lines = [line.rstrip("\n").split("\t") for line in handle if line.strip()]
            checks.equal(f"run {k} BED lines", len(lines), block["sites_count"])
            checks.equal(f"run {k} BED names are the site words", [f[3] for f in lines],
                         [s["word"] for s in block["sites"]])
            checks.equal(f"run {k} getfasta -s gives the report's site words", getfasta("crp0.fa", bed, folder),
                         [s["word"] for s in block["sites"]])

        checks.equal("motif ids over the batch are distinct", len(set(ids)), RUNS)
        # Files of one batch merged into one: each format still parses, every motif under its own id.
        for suffix, fmt, key in ((".jaspar", "jaspar", lambda m: m.matrix_id),
                                 (".transfac", "transfac", lambda m: m.get("ID"))):
            merged = os.path.join(folder, "merged" + suffix)
            with open(merged, "w") as out:
                for k in range(1, RUNS + 1):
                    with open(os.path.join(folder, f"crp.run{k}{suffix}")) as part:
                        out.write(part.read())
            checks.equal(f"merged {fmt} ids", [key(m) for m in parse_one(merged, fmt)], ids)
    checks.finish("run files")


def check_run_meme(kalvo, fasta):
    checks = Checks()
    with tempfile.TemporaryDirectory() as folder:
        blocks = batch_of_runs(kalvo, fasta, folder)
        for k, block in enumerate(blocks, start=1):
            stem = os.path.join(folder, f"crp.run{k}")
            with open(stem + ".json") as handle:
                doc = json.load(handle)
            with open(stem + ".meme") as handle:
                text = handle.read()
            # A run computes no E-value, so its matrix line has none (the format makes it optional).
            checks.true(f"run {k} MEME file without E=", "E=" not in text)
            path = stem + ".meme"
            version = tuple(int(part) for part in Bio.__version__.split(".")[:2] if part.isdigit())
            if version < (1, 85):
                # Biopython reads a matrix line without "E=" from version 1.85 on;
                # an older one reads a copy with the field, so that the rest of
                # the file is still checked by it.
                path = stem + ".with-evalue.meme"
                with open(path, "w") as handle:
                    handle.write(re.sub(r"(letter-probability matrix:[^\n]*)", r"\1 E= 1", text))
                if k == 1:
                    print(f"note: Biopython {Bio.__version__} needs E= on a matrix line (optional from 1.85): "
                          "it reads copies of the runs' MEME files with E= 1 added")
            meme = parse_one(path, "minimal")
            checks.equal(f"run {k} MEME motifs", len(meme), 1)
            motif = meme[0]
            checks.true(f"run {k} MEME id {doc['motif']['id']!r} among {meme_ids(motif)}",
                        doc["motif"]["id"] in meme_ids(motif))
            checks.equal(f"run {k} MEME nsites", motif.num_occurrences, block["sites_count"])
            checks.equal(f"run {k} MEME width", motif.length, WIDTH)
            shares = [c["probabilities"] for c in doc["motif"]["columns"]]
            if block["sites_count"] > 0:
                check_meme_shares(checks, f"run {k} MEME", motif, shares, block["sites_count"])
    checks.finish("run MEME files")


def check_discovery_files(kalvo, fasta):
    checks = Checks()
    with tempfile.TemporaryDirectory() as folder:
        shutil.copy(fasta, os.path.join(folder, "crp0.fa"))
        run([kalvo, "discover", "crp0.fa", "--width", str(WIDTH), "--seed", "1", "--output-dir", "d"], folder)
        out = os.path.join(folder, "d")
        with open(os.path.join(out, "summary.json")) as handle:
            doc = json.load(handle)
        checks.equal("summary.json schema", doc.get("schema"), 4)
        found = doc["motifs"]
        checks.true("the discovery reports a motif", len(found) >= 1)
        ids = [m["id"] for m in found]
        checks.equal("discovery ids are distinct", len(set(ids)), len(ids))
        checks.equal("discovery ids", ids, [f"{m['rank']}-{m['consensus']}" for m in found])
        checks.equal("discovery names", [m["name"] for m in found], [f"crp0.rank{m['rank']}" for m in found])

        meme = parse_one(os.path.join(out, "motifs.meme"), "minimal")
        checks.equal("motifs.meme motifs", len(meme), len(found))
        for motif, expected in zip(meme, found):
            checks.true(f"motifs.meme id {expected['id']!r} among {meme_ids(motif)}", expected["id"] in meme_ids(motif))
            checks.equal(f"{expected['id']} nsites", motif.num_occurrences, expected["sites"])
            checks.true(f"{expected['id']} E-value {motif.evalue} is summary.json's {expected['evalue']}",
                        motif.evalue == float(expected["evalue"]))
            check_meme_shares(checks, expected["id"], motif, expected["matrix"], expected["sites"])
        with open(os.path.join(out, "motifs.meme")) as handle:
            text = handle.read()
        for expected in found:
            checks.true(f"motifs.meme names {expected['id']} {expected['name']}",
                        f"\nMOTIF {expected['id']} {expected['name']}\n" in text)

        jaspar = parse_one(os.path.join(out, "motifs.jaspar"), "jaspar")
        checks.equal("motifs.jaspar ids", [m.matrix_id for m in jaspar], ids)
        checks.equal("motifs.jaspar names", [m.name for m in jaspar], [m["name"] for m in found])
        for motif, expected in zip(jaspar, found):
            checks.equal(f"{expected['id']} JASPAR counts", column_counts(motif), expected["counts"])

        with open(os.path.join(out, "sites.tsv")) as handle:
            table = [line.rstrip("\n").split("\t") for line in handle][1:]
        bed = os.path.join(out, "sites.bed")
        checks.equal("sites.bed lines", sum(1 for line in open(bed) if line.strip()), len(table))
        checks.equal("sites per motif", [sum(1 for row in table if row[0] == str(m["rank"])) for m in found],
                     [m["sites"] for m in found])
        checks.equal("getfasta -s gives the sites' words", getfasta("crp0.fa", bed, folder), [row[7] for row in table])
    checks.finish("discovery files")


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("run-files", "run-meme", "discovery-files"):
        print(__doc__)
        sys.exit(2)
    part, kalvo, fasta = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    {"run-files": check_run_files, "run-meme": check_run_meme, "discovery-files": check_discovery_files}[part](
        kalvo, fasta)


if __name__ == "__main__":
    main()
