#!/usr/bin/env python3
"""Accuracy benchmark of `kalvo discover`, run by hand.

Runs discover on a few fixed cases (known CRP sites, planted motifs, two planted motifs, Klf1
ChIP-seq peaks, random sets with no motif), scores the rank-1 motif's sites with the
motif benchmark kit's eval_sites.py, and prints one Markdown row per case with
its target and PASS or FAIL.  Wall time and peak resident memory are those of
the discover process alone.

    bench/discover_accuracy.py --quick
    bench/discover_accuracy.py --cases crp,null --json accuracy.json
    bench/discover_accuracy.py --cases planted-10k --workdir /tmp/acc --discover-args "--restarts 8"

The kit and its data are found next to the repository (../shared/bench and
../shared/data) unless --kit and --data say otherwise.  Generated inputs go
to a temporary folder, or to --workdir to keep them with the outputs.
Exit status: 0 when every case passes, 1 when one fails, 2 on a setup error.
"""

import argparse
import json
import math
import os
import platform
import shlex
import subprocess
import sys
import tempfile
import shutil
import time
from dataclasses import dataclass, field

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PLANTED = ["--width", "12", "--strength", "moderate", "--consensus", "AACTATGCGACC",
           "--zoops", "0.8", "--reverse-fraction", "0.5", "--seed", "1"]
# Random sets too small for discover to hold sequences out: 20, 30 and 39
# sequences of 100 to 500 bp, two seeds each.
NULL_SMALL = [["--nseq", str(n), "--length", "100-500", "--zoops", "0", "--width", "12",
               "--consensus", "AACTATGCGACC", "--seed", str(seed)] for n in (20, 30, 39) for seed in (1, 2)]


@dataclass
class Case:
    name: str
    target: str                      # the pass condition, as printed
    quick: bool
    fasta: str = ""                  # a file of the data folder, or ...
    generate: list = field(default_factory=list)   # ... gen_planted.py arguments
    truth: str = ""                  # truth site table in the data folder
    discover: list = field(default_factory=list)
    min_ncc: float = None            # pass: rank-1 nCC at least this
    klf_box: bool = False            # pass: rank-1 holds the KLF box, E <= 1e-10
    no_motif: bool = False           # pass: no motif with E <= 0.05
    sets: list = field(default_factory=list)       # several generated inputs, each gen_planted.py arguments
    # gen_planted.py arguments of a second set with a motif of its own, whose
    # sequences follow the first set's; pass: each motif is among the top three at min_ncc.
    second: list = field(default_factory=list)


CASES = [
    Case("crp", "nCC >= 0.74", True, fasta="crp0.fa", truth="crp0.truth.tsv",
         discover=["--width", "22"], min_ncc=0.74),
    Case("planted-1k", "nCC >= 0.86", True, generate=["--nseq", "1000", "--length", "200"] + PLANTED,
         discover=["--width", "12"], min_ncc=0.86),
    Case("planted-10k", "nCC >= 0.74", False, generate=["--nseq", "10000", "--length", "500"] + PLANTED,
         discover=["--width", "12"], min_ncc=0.74),
    Case("klf1", "CACCC box, E <= 1e-10", False, fasta="klf1.fa", klf_box=True),
    Case("null", "no motif, E <= 0.05", True, no_motif=True,
         generate=["--nseq", "500", "--length", "200", "--zoops", "0", "--width", "12",
                   "--consensus", "AACTATGCGACC", "--seed", "1"]),
    Case("two-motifs", "each motif nCC >= 0.7", False, min_ncc=0.7,
         generate=["--nseq", "500", "--length", "200"] + PLANTED,
         second=["--nseq", "500", "--length", "200", "--width", "12", "--strength", "moderate",
                 "--consensus", "GTCAGGATTCGT", "--zoops", "0.8", "--reverse-fraction", "0.5", "--seed", "2",
                 "--header-prefix", "second"]),
    Case("null-small", "no motif, E <= 0.05, in any of 6 sets", True, no_motif=True, sets=NULL_SMALL),
]


class SetupError(Exception):
    pass


def run_measured(command, stdout_path, stderr_path):
    """Runs a command; returns its exit code, wall seconds, peak resident MiB and
    where that peak comes from.  os.wait4 gives the rusage of this child alone,
    but Linux carries the high-water mark of the forked Python copy across
    exec, so it never reads below this script's own size (about 17 MiB).  GNU
    time forks the command from a small process and reports its true peak, so
    it is used when present."""
    time_file = stdout_path + ".time"
    timed = os.access("/usr/bin/time", os.X_OK) and sys.platform.startswith("linux")
    full = ["/usr/bin/time", "-v", "-o", time_file] + command if timed else command
    with open(stdout_path, "wb") as out, open(stderr_path, "wb") as err:
        start = time.monotonic()
        child = subprocess.Popen(full, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.monotonic() - start
    child.returncode = os.waitstatus_to_exitcode(status)   # Popen must not wait again
    per_mib = 1024.0 * 1024.0 if sys.platform == "darwin" else 1024.0   # bytes on macOS, KiB on Linux
    peak, source = usage.ru_maxrss / per_mib, "wait4"
    if timed:
        try:
            with open(time_file, encoding="utf-8", errors="replace") as handle:
                for line in handle:
                    if "Maximum resident set size (kbytes):" in line:
                        peak, source = int(line.rsplit(":", 1)[1]) / 1024.0, "/usr/bin/time"
        except (OSError, ValueError):
            pass
    return child.returncode, seconds, peak, source


def first_lines(path, lines=3):
    """The start of a run's error output, where the reason for a failure is."""
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            return " / ".join(line.strip() for line in handle.readlines()[:lines])
    except OSError:
        return ""


def read_sites(path):
    """sites.tsv as a list of dicts, checking its header and field count."""
    with open(path, encoding="latin-1") as handle:
        lines = handle.read().splitlines()
    expected = "motif\tseq_index\tsequence\tstart\tend\tstrand\tscore\tword"
    if not lines or lines[0] != expected:
        raise ValueError("%s: header line is not %r" % (path, expected))
    rows = []
    for number, line in enumerate(lines[1:], 2):
        fields = line.split("\t")
        if len(fields) != 8 or fields[5] not in ("+", "-"):
            raise ValueError("%s:%d: malformed site line" % (path, number))
        rows.append({"motif": int(fields[0]), "seq": int(fields[1]), "header": fields[2],
                     "start": int(fields[3]), "end": int(fields[4]), "strand": fields[5], "word": fields[7]})
    return rows


def site_problems(rows, records, benchlib):
    """Site lines that do not match the input: out of range, end - start not the
    word's length, or a word that is not the sequence text (reverse complement
    on '-').  Such lines would otherwise only show as a poor nCC."""
    problems = []
    for r in rows:
        if not 0 <= r["seq"] < len(records) or not 0 <= r["start"] <= r["end"] <= len(records[r["seq"]].seq):
            problems.append("motif %d: site %d:%d-%d lies outside the input" % (
                r["motif"], r["seq"], r["start"], r["end"]))
            continue
        text = records[r["seq"]].seq[r["start"]:r["end"]]
        text = text if r["strand"] == "+" else benchlib.revcomp(text)
        if r["end"] - r["start"] != len(r["word"]) or text.upper() != r["word"].upper():
            problems.append("motif %d: site %d:%d%s word %s, the input reads %s" % (
                r["motif"], r["seq"], r["start"], r["strand"], r["word"], text))
    return problems


def score_motif(rank, width, rows, truth, folder, kit):
    """eval_sites.py's measures of one motif's sites, through a kit site table."""
    path = os.path.join(folder, "motif-%d.sites.tsv" % rank)
    with open(path, "w", encoding="latin-1", newline="\n") as out:
        out.write("#meta\twidth\t%d\n" % width)
        for r in rows:
            if r["motif"] == rank:
                out.write("%d\t%s\t%d\t%s\t%s\n" % (r["seq"], r["header"], r["start"], r["strand"], r["word"]))
    done = subprocess.run([sys.executable, os.path.join(kit, "eval_sites.py"), "--truth", truth, path, "--json"],
                          capture_output=True, text=True)
    if done.returncode != 0:
        raise SetupError("eval_sites.py failed on %s: %s" % (path, done.stderr.strip()))
    return json.loads(done.stdout)


def join_second_set(case, prefix, args):
    """Generates the second set, appends its sequences to the first's FASTA and
    writes one truth table per motif over the joined input: each lists every
    sequence and the sites of its own motif only, indices of the second set shifted."""
    second = prefix + "-second"
    subprocess.run([sys.executable, os.path.join(args.kit, "gen_planted.py")] + case.second + ["-o", second],
                   check=True, capture_output=True)
    with open(second + ".fa", encoding="latin-1") as src, open(prefix + ".fa", "a", encoding="latin-1") as dst:
        dst.write(src.read())
    tables = []
    for path in (prefix + ".truth.tsv", second + ".truth.tsv"):
        with open(path, encoding="latin-1") as handle:
            tables.append(handle.read().splitlines())
    first_count = sum(1 for line in tables[0] if line.startswith("#seq\t"))

    def shifted(line, by):
        fields = line.split("\t")
        index = 1 if line.startswith("#seq\t") else 0
        fields[index] = str(int(fields[index]) + by)
        return "\t".join(fields)

    paths = []
    for k, own in enumerate(tables):
        lines = [line for line in own if line.startswith("#") and not line.startswith("#seq\t")]
        for j, table in enumerate(tables):
            by = first_count if j == 1 else 0
            for line in table:
                if line.startswith("#seq\t") or (j == k and line and not line.startswith("#")):
                    lines.append(shifted(line, by))
        path = "%s.motif%d.truth.tsv" % (prefix, k + 1)
        with open(path, "w", encoding="latin-1", newline="\n") as out:
            out.write("\n".join(lines) + "\n")
        paths.append(path)
    return paths


def truth_width(path):
    with open(path, encoding="latin-1") as handle:
        for line in handle:
            if line.startswith("#meta\twidth\t"):
                return int(line.split("\t")[2])
    return None


def judge(case, result):
    motifs = result["motifs"]
    if "per_motif" in result:
        ranks = [p["rank"] for p in result["per_motif"]]
        return len(set(ranks)) == len(ranks) and all(p["nCC"] >= case.min_ncc for p in result["per_motif"])
    if case.no_motif:
        return not any(m["log10_evalue"] <= math.log10(0.05) for m in motifs)
    if not motifs:
        return False
    if case.klf_box:
        consensus = motifs[0]["consensus"].upper()
        return ("CACCC" in consensus or "GGGTG" in consensus) and motifs[0]["log10_evalue"] <= -10
    return result["eval"][0]["nCC"] >= case.min_ncc


def run_case(case, args, workdir, benchlib):
    """One case; a case of several sets passes when each does, and its row shows the
    first set that reported a motif (or the first set), with the time of all."""
    if not case.sets:
        return run_input(case, case.generate, os.path.join(workdir, case.name), args, benchlib)
    results = [run_input(case, generate, os.path.join(workdir, "%s-%d" % (case.name, k)), args, benchlib)
               for k, generate in enumerate(case.sets, 1)]
    shown = next((r for r in results if r["motifs"]), results[0])
    combined = dict(shown)
    combined.update(seconds=round(sum(r["seconds"] for r in results), 3),
                    peak_mib=max(r["peak_mib"] for r in results),
                    problems=[p for r in results for p in r["problems"]],
                    sets=[{"command": r["command"], "motifs": r["motifs"], "pass": r["pass"]} for r in results],
                    sets_with_motif=sum(1 for r in results if r["motifs"]))
    combined["pass"] = all(r["pass"] for r in results)
    return combined


def run_input(case, generate, folder, args, benchlib):
    os.makedirs(folder, exist_ok=True)
    name = os.path.basename(folder)
    fasta = os.path.join(args.data, case.fasta) if case.fasta else os.path.join(folder, name + ".fa")
    truth = os.path.join(args.data, case.truth) if case.truth else None
    if generate:
        prefix = os.path.join(folder, name)
        subprocess.run([sys.executable, os.path.join(args.kit, "gen_planted.py")] + generate + ["-o", prefix],
                       check=True, capture_output=True)
        truth = None if case.no_motif else prefix + ".truth.tsv"
    truths = [truth] if truth else []
    if case.second:
        truths = join_second_set(case, prefix, args)
    out_dir = os.path.join(folder, "out")
    for name in ("summary.json", "sites.tsv"):        # never score a previous run's files
        if os.path.exists(os.path.join(out_dir, name)):
            os.remove(os.path.join(out_dir, name))
    command = ([args.kalvo, "discover", fasta] + case.discover +
               ["--seed", "1", "--jobs", str(args.jobs), "--output-dir", out_dir, "--force", "--quiet"] +
               shlex.split(args.discover_args))
    print("running %s: %s" % (case.name, " ".join(shlex.quote(c) for c in command)), file=sys.stderr)
    code, seconds, peak, peak_source = run_measured(command, os.path.join(folder, "stdout.txt"),
                                                    os.path.join(folder, "stderr.txt"))
    result = {"case": case.name, "target": case.target, "command": command, "exit_code": code,
              "seconds": round(seconds, 3), "peak_mib": round(peak, 1), "peak_from": peak_source,
              "motifs": [], "eval": [], "best_of_top3": None, "problems": []}
    try:
        with open(os.path.join(out_dir, "summary.json"), encoding="utf-8") as handle:
            summary = json.load(handle)
        rows = read_sites(os.path.join(out_dir, "sites.tsv"))
    except (OSError, ValueError) as err:
        result["problems"].append("no usable output (exit code %d): %s; %s" % (
            code, err, first_lines(os.path.join(folder, "stderr.txt"))))
        result["pass"] = False
        return result
    if code != 0:
        result["problems"].append("discover exited with %d: %s" % (
            code, first_lines(os.path.join(folder, "stderr.txt"))))
    keys = ("rank", "consensus", "width", "evalue", "log10_evalue", "sites", "target_hits", "control_hits",
            "found_by", "restarts")
    result["motifs"] = [{k: m.get(k) for k in keys} for m in summary.get("motifs", [])]
    if any(not isinstance(m["log10_evalue"], (int, float)) or not isinstance(m["width"], int)
           or not isinstance(m["rank"], int) for m in result["motifs"]):
        result["problems"].append("summary.json: a motif lacks its rank, width or log10_evalue")
        result["pass"] = False
        return result
    wrong = site_problems(rows, benchlib.read_fasta(fasta), benchlib)
    result["site_problems"] = len(wrong)
    result["problems"] += wrong[:10] + (["... %d such site lines in all" % len(wrong)] if len(wrong) > 10 else [])
    if len(truths) > 1:
        result["per_motif"] = []
        for k, motif_truth in enumerate(truths, 1):
            scored = [dict(score_motif(m["rank"], m["width"], rows, motif_truth, folder, args.kit),
                           rank=m["rank"]) for m in result["motifs"][:3]]
            best = max(scored, key=lambda e: e["nCC"]) if scored else None
            result["per_motif"].append({"truth": k, "rank": best["rank"] if best else None,
                                        "nCC": best["nCC"] if best else 0.0, "width": truth_width(motif_truth)})
        truth = truths[0]
    if truth:
        for motif in result["motifs"][:3]:
            measures = score_motif(motif["rank"], motif["width"], rows, truth, folder, args.kit)
            result["eval"].append(dict(measures, rank=motif["rank"]))
        if result["eval"]:
            best = max(result["eval"], key=lambda e: e["nCC"])
            result["best_of_top3"] = {"rank": best["rank"], "nCC": best["nCC"]}
    # A run that exits with an error or reports sites the input does not hold fails whatever it found.
    result["pass"] = judge(case, result) and code == 0 and not wrong
    return result


def number(value, digits):
    return "–" if value is None else "%.*f" % (digits, value)


def markdown(results):
    head = ["case", "top consensus", "width", "E-value", "sites", "nCC", "site recall", "site precision",
            "best nCC of top 3", "found by", "time s", "peak MB", "target", "result"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * 2 + "---:|" * 10 + "---|" * 2]
    for r in results:
        top = r["motifs"][0] if r["motifs"] else {}
        scored = r["eval"][0] if r["eval"] else {}
        best = r["best_of_top3"]
        none = "no motif" if "site_problems" in r or r["motifs"] else "no output"
        cells = [r["case"], top.get("consensus", none), str(top.get("width", "–")), top.get("evalue", "–"),
                 str(top.get("sites", "–")), number(scored.get("nCC"), 3), number(scored.get("site_recall"), 2),
                 number(scored.get("site_precision"), 2),
                 "–" if best is None else " / ".join("%.3f (#%s)" % (p["nCC"], p["rank"]) for p in
                                                     r.get("per_motif", [dict(best, truth=1)])),
                 "%s of %s" % (top["found_by"], top["restarts"]) if top else "–",
                 "%.1f" % r["seconds"], "%.0f" % r["peak_mib"], r["target"], "PASS" if r["pass"] else "FAIL"]
        lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kalvo", default=os.path.join(REPO, "build", "app", "cli", "kalvo"),
                        help="kalvo binary (default: build/app/cli/kalvo of this repository)")
    chosen = parser.add_mutually_exclusive_group()
    chosen.add_argument("--cases", help="comma-separated case names: " + ", ".join(c.name for c in CASES))
    chosen.add_argument("--quick", action="store_true",
                        help="only the small cases: " + ", ".join(c.name for c in CASES if c.quick))
    parser.add_argument("--jobs", type=int, default=2, help="discover --jobs (default 2)")
    parser.add_argument("--workdir", help="keep generated inputs and outputs here (default: a temporary folder)")
    parser.add_argument("--discover-args", default="", help="extra discover arguments, e.g. \"--restarts 8\"")
    parser.add_argument("--json", metavar="FILE", help="write every figure of every case here")
    parser.add_argument("--kit", default=os.path.join(os.path.dirname(REPO), "shared", "bench"),
                        help="motif benchmark kit folder (default ../shared/bench beside the repository)")
    parser.add_argument("--data", default=os.path.join(os.path.dirname(REPO), "shared", "data"),
                        help="data folder with crp0.fa, crp0.truth.tsv, klf1.fa (default ../shared/data)")
    args = parser.parse_args(argv)
    by_name = {c.name: c for c in CASES}
    if args.cases:
        names = [n.strip() for n in args.cases.split(",") if n.strip()]
        unknown = [n for n in names if n not in by_name]
        if unknown or not names:
            parser.error("unknown case %s; the cases are %s" % (", ".join(unknown) or "''", ", ".join(by_name)))
        args.selected = [by_name[n] for n in dict.fromkeys(names)]
    else:
        args.selected = [c for c in CASES if c.quick or not args.quick]
    if args.jobs < 1:
        parser.error("--jobs must be at least 1")
    if args.workdir and os.path.realpath(args.workdir).startswith(os.path.realpath(REPO) + os.sep):
        parser.error("--workdir must lie outside the repository: the inputs are not part of it")
    return args


def main(argv=None):
    args = parse_args(argv)
    try:
        if not os.access(args.kalvo, os.X_OK):
            raise SetupError("no kalvo binary at %s (build it, or give --kalvo)" % args.kalvo)
        if not os.path.exists(os.path.join(args.kit, "eval_sites.py")):
            raise SetupError("no benchmark kit at %s (give --kit)" % args.kit)
        sys.path.insert(0, args.kit)
        import benchlib
        workdir = os.path.abspath(args.workdir) if args.workdir else tempfile.mkdtemp(prefix="kalvo-accuracy-")
        try:
            results = [run_case(case, args, workdir, benchlib) for case in args.selected]
        finally:
            if not args.workdir:
                shutil.rmtree(workdir, ignore_errors=True)
    except (SetupError, OSError, subprocess.CalledProcessError) as err:
        print("discover_accuracy: %s" % err, file=sys.stderr)
        return 2
    print(markdown(results))
    for r in results:
        for problem in r["problems"]:
            print("%s: %s" % (r["case"], problem), file=sys.stderr)
    if args.json:
        payload = {"kalvo": args.kalvo, "discover_args": args.discover_args, "jobs": args.jobs,
                   "date": time.strftime("%Y-%m-%d %H:%M:%S"), "machine": platform.platform(),
                   "cpus": os.cpu_count(), "cases": results}
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump(payload, out, indent=1)
            out.write("\n")
    return 0 if all(r["pass"] for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
