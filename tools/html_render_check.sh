#!/usr/bin/env bash
# tools/html_render_check.sh [KALVO | DIR...]: checks that index.html of discoveries renders in a real browser.
# Without a folder, makes three in a scratch folder with KALVO (default build/app/cli/kalvo): the
# CRP example, a small generated set whose motif has a correlated column pair and whose sequence
# names hold markup (<script>, &, quotes), and random sequences (no motif). For each page, headless Chromium
#  - loads a copy of the page with a measuring script added, and dumps the DOM: every logo and
#    histogram has a size, letters and arcs are drawn, the sites tables sort by a click, hostile
#    names are text and no script came from them, every relative link names a file of the folder;
#  - takes a screenshot: it is not blank and shows the logos' four letter colours;
#  - logs no console message from the page (an error in its script would be one).
# Needs /usr/bin/chromium (Debian: apt-get install chromium) and python3. Exit status 0 when every
# page passes, 1 when one fails, 77 when chromium is missing (nothing checked).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

if [ ! -x /usr/bin/chromium ]; then
  echo "html_render_check: /usr/bin/chromium is missing; nothing checked" >&2
  exit 77
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

dirs=()
program="$root/build/app/cli/kalvo"
for arg in "$@"; do
  if [ -d "$arg" ]; then dirs+=("$(cd "$arg" && pwd)"); else program="$arg"; fi
done
if ((${#dirs[@]} == 0)); then
  [ -x "$program" ] || { echo "html_render_check: no kalvo program at $program" >&2; exit 1; }
  "$program" discover "$root/examples/crp0.fa" --width 22 --output-dir "$work/crp0.kalvo" --seed 1 --quiet >/dev/null
  # Three of four sequences hold a 15-mer whose columns 6 and 11 are either G...C or A...T.
  python3 - "$work/pairs.fa" <<'EOF'
import random, sys
r = random.Random(7)
with open(sys.argv[1], "w") as out:
    for i in range(60):
        s = [r.choice("ACGT") for _ in range(120)]
        if i % 4 != 3:
            x, y = r.choice([("G", "C"), ("A", "T")])
            m = "ACGTG" + x + "CATG" + y + "TGCA"
            if r.random() < 0.5:
                m = m[::-1].translate(str.maketrans("ACGT", "TGCA"))
            p = r.randrange(0, 120 - len(m))
            s[p:p + len(m)] = m
        name = "s%d <script>alert(1)</script>&\"'" % i if i % 10 == 0 else "chr1:%d-%d" % (1000 + 200 * i, 1120 + 200 * i)
        out.write(">" + name + "\n" + "".join(s) + "\n")
EOF
  "$program" discover "$work/pairs.fa" --widths 14 --motifs 1 --output-dir "$work/pairs.kalvo" --seed 1 --quiet >/dev/null
  # Random sequences: most likely no motif, and the page that says so.
  python3 -c 'import random; r = random.Random(3); print("".join(">r%d\n%s\n" % (i, "".join(r.choice("ACGT") for _ in range(100))) for i in range(30)), end="")' >"$work/random.fa"
  "$program" discover "$work/random.fa" --widths 8 --motifs 1 --restarts 2 --output-dir "$work/random.kalvo" --seed 1 --quiet >/dev/null
  dirs=("$work/crp0.kalvo" "$work/pairs.kalvo" "$work/random.kalvo")
fi

# Measures the page as drawn and leaves the figures in <pre id="render-check"> for --dump-dom.
cat >"$work/measure.js" <<'EOF'
(function () {
  function size(element) { var r = element.getBoundingClientRect(); return r.width > 0 && r.height > 0; }
  function count(selector, test) {
    var all = document.querySelectorAll(selector), good = 0;
    all.forEach(function (e) { if (!test || test(e)) good++; });
    return [all.length, good];
  }
  var result = {};
  result.title = document.title;
  result.logos = count('svg.logo', size);
  // Letters of a tiny share are drawn flat; a logo needs some letters with a size.
  result.logosWithLetters = count('svg.logo', function (logo) {
    return Array.prototype.some.call(logo.querySelectorAll('path.letter'), size);
  });
  result.arcs = count('svg.logo path.pair', function (e) { return e.getBoundingClientRect().width > 0; });
  result.histograms = count('svg.positions', size);
  result.bars = count('svg.positions rect.bar', function (e) { return e.getBoundingClientRect().width > 0; });
  result.motifSections = document.querySelectorAll('section.motif').length;
  result.noMotifNote = document.getElementById('no-motif') !== null;
  result.siteRows = document.querySelectorAll('table.sites tbody tr').length;
  result.scripts = document.scripts.length;
  result.dialogs = window.dialogs;
  // Split, since the end tag would close this very script.
  result.hostileNamesAsText = document.body.textContent.indexOf('<script>alert(1)</scr' + 'ipt>&"\'') >= 0;
  result.external = document.querySelectorAll('[src], link[href]').length;
  var table = document.querySelector('table.sites');
  if (table) {
    var heads = Array.prototype.slice.call(table.tHead.rows[0].cells);
    var column = heads.findIndex(function (h) { return h.textContent.indexOf('Score') === 0; });
    var scores = function () {
      return Array.prototype.map.call(table.tBodies[0].rows, function (r) { return parseFloat(r.cells[column].textContent); });
    };
    var sorted = function (values, sign) {
      return values.every(function (v, i) { return i === 0 || sign * (v - values[i - 1]) >= 0; });
    };
    heads[column].click();
    var up = sorted(scores(), 1);
    heads[column].click();
    result.sorts = heads[column].classList.contains('sortable') && up && sorted(scores(), -1);
  }
  var links = {};
  document.querySelectorAll('a[href]').forEach(function (a) {
    var href = a.getAttribute('href');
    if (href.charAt(0) !== '#') links[href] = 1;
  });
  result.links = Object.keys(links).sort();
  var pre = document.createElement('pre');
  pre.id = 'render-check';
  pre.textContent = JSON.stringify(result);
  document.body.appendChild(pre);
})();
EOF

# A page that never finishes (a dialog, a script in a loop) must not stop the check.
chrome=(timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run
  --disable-background-networking --disable-component-update --disable-sync --disable-dev-shm-usage
  --hide-scrollbars --force-color-profile=srgb --enable-logging=stderr --v=0)

failed=0
n=0
for dir in "${dirs[@]}"; do
  n=$((n + 1))
  page="$dir/index.html"
  if [ ! -f "$page" ]; then
    echo "html_render_check: FAIL $dir: no index.html" >&2
    failed=1
    continue
  fi
  mkdir -p "$work/$n"
  # Copies in the scratch folder are loaded (the page is self-contained, so they draw the same),
  # the one for the DOM with a measuring script; the discovery's folder is left as it is.
  python3 - "$page" "$work/measure.js" "$work/$n" <<'EOF'
import sys
page = open(sys.argv[1], encoding="utf-8", errors="replace").read()
script = open(sys.argv[2], encoding="utf-8").read()
# First of all, dialogs are counted instead of shown: one would stop the headless browser.
stub = "<script>window.dialogs = 0; window.alert = window.confirm = window.prompt = function () { window.dialogs++; };</script>"
start = page.find("<head>") + len("<head>") if "<head>" in page else 0
end = page.rfind("</body>") if "</body>" in page else len(page)
open(sys.argv[3] + "/measured.html", "w", encoding="utf-8").write(
    page[:start] + stub + page[start:end] + "<script>" + script + "</script>\n" + page[end:])
open(sys.argv[3] + "/shown.html", "w", encoding="utf-8").write(page[:start] + stub + page[start:])
EOF
  "${chrome[@]}" --user-data-dir="$work/$n/profile-dom" --dump-dom "file://$work/$n/measured.html" \
    >"$work/$n/dom.html" 2>"$work/$n/dom.log" || true
  "${chrome[@]}" --user-data-dir="$work/$n/profile-shot" --window-size=1280,2400 \
    --screenshot="$work/$n/page.png" "file://$work/$n/shown.html" >"$work/$n/shot.log" 2>&1 || true

  if ! python3 - "$dir" "$work/$n" <<'EOF'; then
import html, json, os, re, struct, sys, urllib.parse, zlib

folder, scratch = sys.argv[1], sys.argv[2]
problems = []
# The one kind of web address a page may name: a link to a known motif's JASPAR page.
JASPAR_PAGE = re.compile(r"https://jaspar\.elixir\.no/matrix/[A-Z]{2}[0-9]{4}\.[0-9]+/")

# --- the page as loaded: what the measuring script found ---
dom = open(os.path.join(scratch, "dom.html"), encoding="utf-8", errors="replace").read()
found = re.search(r'<pre id="render-check">(.*?)</pre>', dom, re.S)
if not found:
    problems.append("the page did not load within two minutes, or a script stopped before the end (no measurements in the DOM)")
    result = {}
else:
    result = json.loads(html.unescape(found.group(1)))
summary = json.load(open(os.path.join(folder, "summary.json"), encoding="utf-8"))
motifs = summary["motifs"]
if result:
    if not result["title"]:
        problems.append("the page has no title")
    # Two in the motif table and two in each motif's section; where the motifs were named, the
    # motif's own logo above the logos of its known matches; one per enriched known motif listed.
    expected_logos = 4 * len(motifs)
    if summary.get("known_motifs"):
        expected_logos += sum(1 + len(m.get("known_matches", [])) for m in motifs)
    if summary.get("known_enrichment"):
        expected_logos += len(summary["known_enrichment"]["rows"])
    logos, good = result["logos"]
    if logos != expected_logos or good != logos:
        problems.append("%d of %d logos drawn with a size; %d expected" % (good, logos, expected_logos))
    logos, good = result["logosWithLetters"]
    if good != logos:
        problems.append("%d of %d logos without a letter drawn with a size" % (logos - good, logos))
    pairs = sum(len(m["pairs"]) for m in motifs)
    arcs, good = result["arcs"]
    if arcs != 4 * pairs or good != arcs:
        problems.append("%d of %d arcs drawn; %d correlated pairs in summary.json" % (good, arcs, pairs))
    with_sites = sum(1 for m in motifs if m["sites"] > 0)
    histograms, good = result["histograms"]
    if histograms != with_sites or good != histograms or (with_sites and result["bars"][1] == 0):
        problems.append("%d of %d site-position histograms drawn, %d motifs with sites" % (good, histograms, with_sites))
    if result["noMotifNote"] != (not motifs):
        problems.append("the page %s that no motif is significant" % ("does not say" if not motifs else "says"))
    if result["motifSections"] != len(motifs):
        problems.append("%d motif sections for %d motifs" % (result["motifSections"], len(motifs)))
    expected_rows = sum(min(m["sites"], 500) for m in motifs)
    if result["siteRows"] != expected_rows:
        problems.append("%d site rows, %d expected" % (result["siteRows"], expected_rows))
    if with_sites and not result.get("sorts"):
        problems.append("clicking the Score header does not sort the sites table")
    # The page's own script and the two of the check: a name must never bring another.
    if result["scripts"] != 3 or result["dialogs"]:
        problems.append("%d script elements in the page (1 expected), %d dialogs opened (none expected)"
                        % (result["scripts"] - 2, result["dialogs"]))
    names_file = os.path.join(folder, "sites.tsv")
    names = open(names_file, encoding="utf-8", errors="replace").read() if os.path.exists(names_file) else ""
    if "<script>" in names and not result["hostileNamesAsText"]:
        problems.append("a sequence name with markup is not shown as text")
    if result["external"]:
        problems.append("%d elements load something (src or link href)" % result["external"])
    for href in result["links"]:
        if JASPAR_PAGE.fullmatch(href):
            continue  # a known motif's profile page: a link away, nothing the page loads
        if re.match(r"[a-z]+:", href) or href.startswith("/"):
            problems.append("link to something outside the folder: " + href)
        elif not os.path.exists(os.path.join(folder, urllib.parse.unquote(href))):
            problems.append("link to a file that is not there: " + href)
raw = open(os.path.join(folder, "index.html"), encoding="utf-8", errors="replace").read()
raw = JASPAR_PAGE.sub("", raw)
if "http://" in raw or "https://" in raw:
    problems.append("the page names a web address")

# --- the console: the page itself says nothing when all is well ---
for log in ("dom.log", "shot.log"):
    for line in open(os.path.join(scratch, log), encoding="utf-8", errors="replace"):
        if ("CONSOLE" in line and "source: file://" in line) or "Uncaught" in line:
            problems.append("console: " + line.strip())

# --- the screenshot: decoded with the standard library, filters and all ---
def pixels(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    at, chunks, header = 8, [], None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            chunks.append(body)
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    channels = {2: 3, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace:
        raise ValueError("unexpected PNG layout (depth %d, colour type %d)" % (depth, colour))
    raw = zlib.decompress(b"".join(chunks))
    stride = width * channels
    previous = bytearray(stride)
    rows = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 1:
            for i in range(channels, stride):
                line[i] = (line[i] + line[i - channels]) & 255
        elif kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, previous))
        elif kind == 3:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                line[i] = (line[i] + ((left + previous[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                a = line[i - channels] if i >= channels else 0
                b = previous[i]
                c = previous[i - channels] if i >= channels else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows

try:
    width, height, channels, rows = pixels(os.path.join(scratch, "page.png"))
    colours = set()
    for row in rows:
        for x in range(0, len(row), channels):
            colours.add(row[x:x + 3])
    if len(colours) < 16:
        problems.append("the screenshot is nearly blank: %d colours" % len(colours))
    if motifs:
        for name, rgb in (("A red", b"\xd6\x27\x28"), ("C blue", b"\x1f\x77\xb4"),
                          ("G orange", b"\xff\x7f\x0e"), ("T green", b"\x2c\xa0\x2c")):
            if rgb not in colours:
                problems.append("no %s letter in the screenshot" % name)
    print("html_render_check: %s: %dx%d screenshot, %d colours; %s" % (
        folder, width, height, len(colours),
        ", ".join("%s %s" % (k, result[k]) for k in ("logos", "arcs", "histograms", "siteRows") if k in result)))
except (OSError, ValueError, TypeError, zlib.error) as error:
    problems.append("no usable screenshot: %s" % error)

for problem in problems:
    print("html_render_check: FAIL %s: %s" % (folder, problem), file=sys.stderr)
sys.exit(1 if problems else 0)
EOF
    failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "html_render_check: failed" >&2
  exit 1
fi
echo "html_render_check: ${#dirs[@]} page(s) render"
