"""Configuration and summary helpers of the Kalvo workflow.

Kept apart from the Snakefile so that the configuration is checked in one
place, before any job starts, with messages that name the offending key.
"""

import glob
import json
import os
import shlex
import shutil

FORMATS = ("meme", "jaspar", "transfac", "bed", "json", "svg")
FASTA_SUFFIXES = (".fa", ".fasta", ".fna", ".fas")
# File name ending of each format beside a report "kalvo.txt".
FORMAT_FILE = {"meme": "meme", "jaspar": "jaspar", "transfac": "transfac",
               "bed": "bed", "json": "json", "svg": "logo.svg"}
SEED_STEP = 2654435761


class ConfigError(Exception):
    pass


def _stem(path):
    base = os.path.basename(path)
    for suffix in FASTA_SUFFIXES + (".gz",):
        if base.endswith(suffix):
            return base[: -len(suffix)]
    return os.path.splitext(base)[0]


def _positive_int(config, key, default=None, minimum=1):
    value = config.get(key, default)
    if isinstance(value, bool) or not isinstance(value, int) or value < minimum:
        raise ConfigError(f"config '{key}': expected a whole number of at least {minimum}, got {value!r}")
    return value


class Settings:
    def __init__(self, config, repo_root):
        self.results = str(config.get("results", "results")).rstrip("/") or "."
        self.inputs = self._inputs(config)
        widths = config.get("widths")
        if isinstance(widths, int):
            widths = [widths]
        if not widths or not isinstance(widths, list):
            raise ConfigError("config 'widths': expected a list of motif widths")
        for w in widths:
            if isinstance(w, bool) or not isinstance(w, int) or w < 1:
                raise ConfigError(f"config 'widths': {w!r} is not a width of at least 1")
        self.widths = sorted(set(widths))
        self.iterations = _positive_int(config, "iterations", 200, minimum=0)
        self.repeats = _positive_int(config, "repeats", 1)
        self.seed = _positive_int(config, "seed", 1, minimum=0)
        if self.seed > 0xFFFFFFFF:
            raise ConfigError("config 'seed': at most 4294967295")
        formats = config.get("formats", ["json", "svg"])
        if isinstance(formats, str):
            formats = [f.strip() for f in formats.split(",") if f.strip()]
        for f in formats:
            if f not in FORMATS:
                raise ConfigError(f"config 'formats': unknown format {f!r} (known: {', '.join(FORMATS)})")
        # The summary is read from the JSON files, so they are always written.
        self.formats = [f for f in FORMATS if f in formats or f == "json"]
        self.options = config.get("options") or {}
        self.threads = _positive_int(config, "threads", 1)
        self.mem_mb = _positive_int(config, "mem_mb", 1000)
        self.runtime = _positive_int(config, "runtime", 60)
        self.kalvo = self._kalvo(config.get("kalvo") or "", repo_root)

    def _inputs(self, config):
        paths = list(config.get("inputs") or [])
        folder = config.get("input_dir")
        if folder:
            if not os.path.isdir(folder):
                raise ConfigError(f"config 'input_dir': {folder!r} is not a folder")
            found = sorted(p for p in glob.glob(os.path.join(folder, "*"))
                           if p.endswith(FASTA_SUFFIXES) and os.path.isfile(p))
            if not found:
                raise ConfigError(f"config 'input_dir': no FASTA file ({', '.join(FASTA_SUFFIXES)}) in {folder!r}")
            paths += found
        if not paths:
            raise ConfigError("config: no input, give 'inputs' (a list of FASTA files) or 'input_dir'")
        inputs = {}
        for path in paths:
            name = _stem(str(path))
            if not name or name.startswith("."):
                raise ConfigError(f"config 'inputs': cannot name results after {path!r}")
            if name in inputs and os.path.normpath(inputs[name]) != os.path.normpath(path):
                # Both would write to the same results folder.
                raise ConfigError(f"config 'inputs': {inputs[name]!r} and {path!r} share the name {name!r}")
            inputs[name] = str(path)
        return inputs

    @staticmethod
    def _kalvo(configured, repo_root):
        if configured:
            found = shutil.which(configured) if os.sep not in configured else configured
            return os.path.abspath(found) if found else configured
        on_path = shutil.which("kalvo")
        if on_path:
            return on_path
        return os.path.join(repo_root, "build", "app", "cli", "kalvo")

    def run_seed(self, run):
        """Seed of run `run` (1-based), as kalvo derives it from the base seed."""
        return (self.seed + (run - 1) * SEED_STEP) % 2**32

    def run_files(self, only=None):
        """Files kalvo writes beside the report "kalvo.txt" of one job."""
        files = []
        for run in range(1, self.repeats + 1):
            prefix = "kalvo" if self.repeats == 1 else f"kalvo.run{run}"
            for f in self.formats:
                if only is None or f == only:
                    files.append(f"{prefix}.{FORMAT_FILE[f]}")
        return files

    def find_options(self, width):
        o = self.options
        args = ["--width", str(width), "--iterations", str(self.iterations),
                "--repeats", str(self.repeats), "--seed", str(self.seed),
                "--formats", ",".join(self.formats)]
        valued = {"pseudocount": "--pseudocount", "correlation": "--correlation",
                  "moves": "--moves", "seed_word": "--seed-word", "background": "--background"}
        flags = {"one_site": "--one-site", "given_strand": "--given-strand",
                 "mask": "--mask", "logo_reverse": "--logo-reverse"}
        for key in o:
            if key not in valued and key not in flags:
                raise ConfigError(f"config 'options': unknown option {key!r}")
        for key, flag in valued.items():
            if o.get(key) is not None:
                args += [flag, str(o[key])]
        for key, flag in flags.items():
            if o.get(key):
                args.append(flag)
        return " ".join(shlex.quote(a) for a in args)


def _cell(value):
    return str(value).replace("\t", " ").replace("\n", " ")


def write_summary(settings, table_path, index_path):
    """One line per run of every job, read from the runs' JSON files, and an
    index page showing each run's logo."""
    rows = []
    for name in settings.inputs:
        for width in settings.widths:
            folder = os.path.join(settings.results, name, f"w{width}")
            for run in range(1, settings.repeats + 1):
                prefix = "kalvo" if settings.repeats == 1 else f"kalvo.run{run}"
                with open(os.path.join(folder, prefix + ".json"), encoding="utf-8") as f:
                    data = json.load(f)
                rows.append({
                    "input": name, "width": width, "run": run, "seed": data["seed"],
                    "llr": data["jointLogLikelihood"], "sites": data["numSites"],
                    "consensus": (data.get("motif") or {}).get("consensus") or "",
                    "folder": folder, "prefix": prefix,
                })
    with open(table_path, "w", encoding="utf-8") as f:
        f.write("input\twidth\trun\tseed\tjoint_log_likelihood\tsites\tconsensus\n")
        for r in rows:
            llr = "" if r["llr"] is None else repr(float(r["llr"]))
            f.write("\t".join(_cell(v) for v in (r["input"], r["width"], r["run"], r["seed"],
                                                 llr, r["sites"], r["consensus"])) + "\n")

    index_dir = os.path.dirname(os.path.abspath(index_path))
    lines = ["# Kalvo results", "",
             f"{len(settings.inputs)} inputs, widths {', '.join(map(str, settings.widths))}, "
             f"{settings.iterations} iterations, {settings.repeats} run(s) each, base seed {settings.seed}. "
             f"Table: [{os.path.basename(table_path)}]({os.path.basename(table_path)}).", ""]
    for name in settings.inputs:
        lines += [f"## {name}", "", f"Input: `{settings.inputs[name]}`", "",
                  "| width | run | seed | joint log-likelihood | sites | consensus | logo | report |",
                  "|---|---|---|---|---|---|---|---|"]
        for r in (r for r in rows if r["input"] == name):
            rel = os.path.relpath(os.path.abspath(r["folder"]), index_dir)
            logo = (f"![logo]({rel}/{r['prefix']}.logo.svg)" if "svg" in settings.formats else "")
            llr = "" if r["llr"] is None else f"{float(r['llr']):.6f}"
            lines.append(f"| {r['width']} | {r['run']} | {r['seed']} | {llr} | {r['sites']} | "
                         f"`{r['consensus']}` | {logo} | [report]({rel}/kalvo.txt) |")
        lines.append("")
    with open(index_path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
