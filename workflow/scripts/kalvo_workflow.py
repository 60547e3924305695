"""Configuration and gathering helpers of the Kalvo workflow.

Kept apart from the Snakefile so that the configuration is checked in one
place, before any job starts, with messages that name the offending key, and
so that the gathering of the discoveries can be run and read without Snakemake.
"""

import glob
import html
import json
import os
import shlex
import shutil

FASTA_SUFFIXES = (".fa", ".fasta", ".fna", ".fas")
# Inputs may be gzip-compressed; kalvo reads them either way.
INPUT_SUFFIXES = FASTA_SUFFIXES + tuple(s + ".gz" for s in FASTA_SUFFIXES)
SUMMARY_COLUMNS = ("input", "widths", "rank", "consensus", "width", "evalue", "sites",
                   "found_by", "restarts")


class ConfigError(Exception):
    pass


def input_name(path):
    """Name of an input's results folder: the file name without .gz and its FASTA extension."""
    base = os.path.basename(path)
    if base.endswith(".gz"):
        base = base[: -len(".gz")]
    for suffix in FASTA_SUFFIXES:
        if base.endswith(suffix):
            return base[: -len(suffix)]
    return os.path.splitext(base)[0]


def _whole_number(config, key, default, minimum):
    value = config.get(key, default)
    if isinstance(value, bool) or not isinstance(value, int) or value < minimum:
        raise ConfigError(f"config '{key}': expected a whole number of at least {minimum}, got {value!r}")
    return value


def _width_set(entry):
    """One entry of 'widths' as a sorted tuple: 12, "8,12,16" or [8, 12, 16]."""
    if isinstance(entry, str):
        parts = [p.strip() for p in entry.split(",") if p.strip()]
        try:
            widths = [int(p) for p in parts]
        except ValueError:
            raise ConfigError(f"config 'widths': {entry!r} is not a list of widths like \"8,12,16\"") from None
    elif isinstance(entry, list):
        widths = entry
    else:
        widths = [entry]
    if not widths:
        raise ConfigError("config 'widths': an empty width set")
    for w in widths:
        if isinstance(w, bool) or not isinstance(w, int) or w < 2:
            raise ConfigError(f"config 'widths': {w!r} is not a motif width of at least 2")
    return tuple(sorted(set(widths)))


class Settings:
    def __init__(self, config, repo_root):
        self.results = str(config.get("results") or "results").rstrip("/") or "."
        self.inputs = self._inputs(config)
        self.controls = self._controls(config.get("control"))
        entries = config.get("widths", ["8,12,16"])
        if not isinstance(entries, list):
            entries = [entries]
        if not entries:
            raise ConfigError("config 'widths': expected a list of width sets, one job each")
        # Folder name of each job's width set ("w8-12-16") to its widths.
        self.width_sets = {}
        for entry in entries:
            widths = _width_set(entry)
            self.width_sets["w" + "-".join(map(str, widths))] = widths
        self.restarts = _whole_number(config, "restarts", 8, 1)
        self.iterations = _whole_number(config, "iterations", 500, 1)
        self.motifs = _whole_number(config, "motifs", 3, 1)
        self.seed = _whole_number(config, "seed", 1, 0)
        if self.seed > 0xFFFFFFFF:
            raise ConfigError("config 'seed': at most 4294967295")
        evalue = config.get("evalue", 0.05)
        if isinstance(evalue, bool) or not isinstance(evalue, (int, float)) or not evalue > 0:
            raise ConfigError(f"config 'evalue': expected a number above 0, got {evalue!r}")
        self.evalue = evalue
        self.threads = _whole_number(config, "threads", 2, 1)
        self.mem_mb = _whole_number(config, "mem_mb", 1000, 1)
        self.runtime = _whole_number(config, "runtime", 30, 1)
        self.kalvo = self._kalvo(config.get("kalvo") or "", repo_root)

    def _inputs(self, config):
        paths = config.get("inputs") or []
        if isinstance(paths, str):
            paths = [paths]
        paths = [str(p) for p in paths]
        folder = config.get("input_dir")
        if folder:
            if not os.path.isdir(folder):
                raise ConfigError(f"config 'input_dir': {folder!r} is not a folder")
            found = sorted(p for p in glob.glob(os.path.join(folder, "*"))
                           if p.endswith(INPUT_SUFFIXES) and os.path.isfile(p))
            if not found:
                raise ConfigError(f"config 'input_dir': no FASTA file ({', '.join(INPUT_SUFFIXES)}) in {folder!r}")
            paths += found
        if not paths:
            raise ConfigError("config: no input, give 'inputs' (a list of FASTA files) or 'input_dir'")
        inputs = {}
        for path in paths:
            name = input_name(path)
            if not name or name.startswith(".") or name == "logs":
                raise ConfigError(f"config 'inputs': cannot name results after {path!r}")
            if name in inputs and os.path.normpath(inputs[name]) != os.path.normpath(path):
                # Both would write to the same results folder.
                raise ConfigError(f"config 'inputs': {inputs[name]!r} and {path!r} share the name {name!r}")
            inputs[name] = path
        return inputs

    def _controls(self, control):
        """Control FASTA of each input that has one; the others are tested against shuffles."""
        if not control:
            return {}
        if isinstance(control, str):
            return {name: control for name in self.inputs}
        if isinstance(control, dict):
            unknown = [k for k in control if k not in self.inputs]
            if unknown:
                raise ConfigError(f"config 'control': {unknown[0]!r} is not the name of an input "
                                  f"(names: {', '.join(self.inputs)})")
            return {name: str(path) for name, path in control.items() if path}
        raise ConfigError("config 'control': expected a FASTA file, or input names mapped to FASTA files")

    @staticmethod
    def _kalvo(configured, repo_root):
        # An absolute path, since cluster jobs run kalvo from their own shell.
        if configured:
            found = shutil.which(configured) if os.sep not in configured else configured
            return os.path.abspath(found) if found else configured
        on_path = shutil.which("kalvo")
        if on_path:
            return on_path
        return os.path.join(repo_root, "build", "app", "cli", "kalvo")

    def discovery_folder(self, name, width_set):
        return f"{self.results}/{name}/{width_set}"

    def discover_options(self, name, width_set):
        """Options of `kalvo discover` for one job, less --output-dir, --jobs and --quiet."""
        args = ["--widths", ",".join(map(str, self.width_sets[width_set])),
                "--restarts", str(self.restarts), "--iterations", str(self.iterations),
                "--motifs", str(self.motifs), "--evalue", repr(self.evalue),
                "--seed", str(self.seed)]
        if name in self.controls:
            args += ["--control", self.controls[name]]
        return " ".join(shlex.quote(a) for a in args)


def _cell(value):
    return str(value).replace("\t", " ").replace("\n", " ")


def read_discoveries(settings):
    """Each job's discovery: input, width set, folder and its summary.json."""
    found = []
    for name in settings.inputs:
        for width_set in settings.width_sets:
            folder = settings.discovery_folder(name, width_set)
            with open(os.path.join(folder, "summary.json"), encoding="utf-8") as f:
                found.append({"input": name, "width_set": width_set, "folder": folder,
                              "summary": json.load(f)})
    return found


def reported_motifs(summary):
    """The motifs a discovery reports as results. A motif without sites or one
    marked not significant is not a result, whatever else the file holds."""
    return [m for m in summary.get("motifs") or []
            if m.get("significant", True) and (m.get("sites") or 0) > 0]


def write_summary_table(discoveries, path):
    """One row per reported motif of every discovery; a discovery without any gets no row."""
    with open(path, "w", encoding="utf-8") as f:
        f.write("\t".join(SUMMARY_COLUMNS) + "\n")
        for d in discoveries:
            widths = ",".join(map(str, d["summary"]["parameters"]["widths"]))
            for m in reported_motifs(d["summary"]):
                row = (d["input"], widths, m["rank"], m["consensus"], m["width"], m["evalue"],
                       m["sites"], m["found_by"], m["restarts"])
                f.write("\t".join(_cell(v) for v in row) + "\n")


_PAGE_STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; margin-bottom: 1.5em; }
th, td { border-bottom: 1px solid #ddd; padding: 0.3em 0.7em; text-align: left; vertical-align: middle; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
code { font-size: 1.05em; }
img.logo { height: 90px; }
.none { color: #777; font-style: italic; }
"""


def write_index(settings, discoveries, index_path, table_path):
    """One page over all discoveries: per input and width set its reported motifs
    with their logos, or "no significant motif", and a link to the discovery's own page."""
    index_dir = os.path.dirname(os.path.abspath(index_path))
    e = html.escape
    out = ["<!DOCTYPE html>", "<html lang=\"en\">", "<head>", "<meta charset=\"utf-8\">",
           "<title>Kalvo discoveries</title>", f"<style>{_PAGE_STYLE}</style>", "</head>", "<body>",
           "<h1>Kalvo discoveries</h1>",
           f"<p>{len(settings.inputs)} input(s); width sets "
           f"{e(', '.join(','.join(map(str, w)) for w in settings.width_sets.values()))}; "
           f"{settings.restarts} restarts of {settings.iterations} iterations per width and motif; "
           f"at most {settings.motifs} motif(s) with E-value at most {e(repr(settings.evalue))}; "
           f"seed {settings.seed}. "
           f"All reported motifs: <a href=\"{e(os.path.basename(table_path))}\">"
           f"{e(os.path.basename(table_path))}</a>.</p>"]

    def folder_of(d):
        return os.path.relpath(os.path.abspath(d["folder"]), index_dir).replace(os.sep, "/")

    def logo_of(d, m):
        logo = m.get("logo")
        return (f"<img class=\"logo\" src=\"{e(folder_of(d))}/{e(logo)}\" alt=\"logo of {e(m['consensus'])}\">"
                if logo else "")

    # The overview: each discovery's top motif, so that many inputs fit on one screen.
    out += ["<table>", "<tr><th>input</th><th>widths</th><th>motifs</th><th>top motif</th>"
            "<th>E-value</th><th>sites</th><th>logo</th></tr>"]
    for d in discoveries:
        motifs = reported_motifs(d["summary"])
        anchor = f"{d['input']}-{d['width_set']}"
        widths = ",".join(map(str, d["summary"]["parameters"]["widths"]))
        cells = f"<td><a href=\"#{e(anchor)}\">{e(d['input'])}</a></td><td>{e(widths)}</td><td class=\"num\">{len(motifs)}</td>"
        if motifs:
            top = motifs[0]
            cells += (f"<td><code>{e(top['consensus'])}</code></td><td class=\"num\">{e(str(top['evalue']))}</td>"
                      f"<td class=\"num\">{top['sites']}</td><td>{logo_of(d, top)}</td>")
        else:
            cells += "<td colspan=\"4\" class=\"none\">no significant motif</td>"
        out.append(f"<tr>{cells}</tr>")
    out.append("</table>")

    for d in discoveries:
        summary = d["summary"]
        rel = folder_of(d)
        widths = ",".join(map(str, summary["parameters"]["widths"]))
        out.append(f"<h2 id=\"{e(d['input'])}-{e(d['width_set'])}\">{e(d['input'])} <small>(widths {e(widths)})</small></h2>")
        out.append(f"<p>Input <code>{e(settings.inputs[d['input']])}</code>, "
                   f"{summary.get('targets', '?')} sequences, tested against "
                   f"{e(str(summary.get('control_source', 'controls')))}. "
                   f"<a href=\"{e(rel)}/index.html\">Full discovery page</a></p>")
        motifs = reported_motifs(summary)
        if not motifs:
            best = summary.get("next_best_evalue")
            detail = f" (best candidate E = {e(str(best))})" if best else ""
            out.append(f"<p class=\"none\">no significant motif{detail}</p>")
            continue
        out += ["<table>", "<tr><th>rank</th><th>consensus</th><th>width</th><th>E-value</th>"
                "<th>sites</th><th>found by</th><th>logo</th></tr>"]
        for m in motifs:
            image = logo_of(d, m)
            out.append(f"<tr><td class=\"num\">{m['rank']}</td><td><code>{e(m['consensus'])}</code></td>"
                       f"<td class=\"num\">{m['width']}</td><td class=\"num\">{e(str(m['evalue']))}</td>"
                       f"<td class=\"num\">{m['sites']}</td>"
                       f"<td class=\"num\">{m['found_by']} of {m['restarts']}</td><td>{image}</td></tr>")
        out.append("</table>")
    out += ["</body>", "</html>", ""]
    with open(index_path, "w", encoding="utf-8") as f:
        f.write("\n".join(out))


def gather(settings, table_path, index_path):
    discoveries = read_discoveries(settings)
    write_summary_table(discoveries, table_path)
    write_index(settings, discoveries, index_path, table_path)
