#!/usr/bin/env python3
"""Checks the shape of Kalvo's sources: the layers point one way, no two files
depend on each other, and files and functions stay short enough to read.

A file and its header count as one unit (discover/html_page.cpp and .h are
"discover/html_page"). The check fails, naming the files, when
  - a unit includes a unit of a higher layer (util < model < sampler, report <
    discover < app/batch < app/cli, app/gui; tests, bench and fuzz may include anything),
  - units include each other, directly or round a longer circle,
  - a file outside app/gui includes Qt,
  - a source file outside tests/ and bench/ is longer than 600 lines,
  - a function there is longer than 80 lines, unless the line before it is a
    comment that starts "// Long by design:" and says why.
Run from anywhere: python3 tools/check_sources.py [ROOT]."""
import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
LAYERS = {"util": 0, "model": 1, "sampler": 2, "report": 2, "discover": 3, "app/batch": 4, "app/cli": 5, "app/gui": 5}
CHECKED = ("util", "model", "sampler", "report", "discover", "app")
MAX_FILE_LINES = 600
MAX_FUNCTION_LINES = 80
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)


def layer_of(unit):
    if unit.startswith("app/"):
        return LAYERS.get("/".join(unit.split("/")[:2]), LAYERS["app/batch"])
    return LAYERS.get(unit.split("/")[0])


def main():
    edges = {}
    problems = []
    for top in CHECKED:
        for folder, _, files in os.walk(os.path.join(ROOT, top)):
            for name in files:
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), ROOT)
                unit = os.path.splitext(path)[0]
                with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as source:
                    text = source.read()
                problems += length_problems(path, text)
                for kind, target in INCLUDE.findall(text):
                    if kind == "<":
                        if target.startswith("Q") and not path.startswith("app/gui/"):
                            problems.append(f"{path} includes Qt ({target}) outside app/gui")
                        continue
                    other = os.path.splitext(target)[0]
                    if other == unit or not os.path.exists(os.path.join(ROOT, target)):
                        continue
                    edges.setdefault(unit, set()).add(other)
                    mine, theirs = layer_of(unit), layer_of(other)
                    if mine is not None and theirs is not None and theirs > mine:
                        problems.append(f"{path} includes {target}, a layer above it")
    problems += [f"circle of includes: {' -> '.join(c + [c[0]])}" for c in circles(edges)]
    for line in problems:
        print(line)
    units = len(set(edges) | {u for targets in edges.values() for u in targets})
    print(f"{units} units checked, {len(problems)} problem(s)")
    return 1 if problems else 0


def length_problems(path, text):
    """The file's length and its long functions, found by their braces (comments and strings blanked)."""
    lines = text.split("\n")
    found = []
    if len(lines) - (1 if text.endswith("\n") else 0) > MAX_FILE_LINES:
        found.append(f"{path} has {len(lines) - 1} lines (at most {MAX_FILE_LINES})")
    code = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S).split("\n")
    stack, header = [], ""
    for number, line in enumerate(code):
        if line.strip().startswith("#"):
            continue
        line = re.sub(r"//.*", "", line)
        line = re.sub(r'"(\\.|[^"\\])*"', '""', line)
        line = re.sub(r"'(\\.|[^'\\])*'", "''", line)
        for ch in line:
            if ch == "{":
                head = header.strip()
                if any(kind == "function" for kind, _ in stack):
                    kind = "block"
                elif re.search(r"\b(namespace|class|struct|enum|union)\b", head) and "(" not in head:
                    kind = "type"
                elif head.endswith(")") or re.search(r"\)\s*(const|noexcept|override|final|->.*)?\s*$", head) \
                        or (":" in head and ")" in head):
                    kind = "function"
                else:
                    kind = "block"
                stack.append((kind, number))
                header = ""
            elif ch == "}":
                if stack:
                    kind, start = stack.pop()
                    first = function_start(lines, start)
                    if kind == "function" and number - start + 1 > MAX_FUNCTION_LINES and \
                            not lines[first - 1].lstrip().startswith("// Long by design:"):
                        found.append(f"{path}:{first + 1} has a function of {number - start + 1} lines "
                                     f"(at most {MAX_FUNCTION_LINES})")
                header = ""
            elif ch == ";":
                header = ""
            else:
                header += ch
        header += " "
    return found


def function_start(lines, brace):
    """The line where the declaration of the function whose body opens at `brace` begins."""
    first = brace
    while first > 0 and lines[first - 1].strip() and not lines[first - 1].lstrip().startswith(("//", "}", "#")) \
            and not lines[first - 1].rstrip().endswith((";", "{", "}")):
        first -= 1
    if lines[first].strip() == "{" and first == brace and brace > 0:
        first = brace - 1
    return first


def circles(edges):
    """Strongly connected groups of more than one unit (Tarjan), each as a list of units."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(unit):
        index[unit] = low[unit] = counter[0]
        counter[0] += 1
        stack.append(unit)
        on_stack.add(unit)
        for other in sorted(edges.get(unit, ())):
            if other not in index:
                visit(other)
                low[unit] = min(low[unit], low[other])
            elif other in on_stack:
                low[unit] = min(low[unit], index[other])
        if low[unit] == index[unit]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == unit:
                    break
            if len(group) > 1:
                found.append(sorted(group))

    sys.setrecursionlimit(10000)
    for unit in sorted(edges):
        if unit not in index:
            visit(unit)
    return found


if __name__ == "__main__":
    sys.exit(main())
