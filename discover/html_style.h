// discover/html_style.h: the style sheet and the table-sorting script inlined into the page of a discovery.
#pragma once
#include <string_view>

namespace kalvo::html {

// The page's whole style: it fetches nothing, so the page looks the same offline.
inline constexpr std::string_view kPageStyle = R"(
:root { --ink: #1d1d1f; --muted: #5f6368; --line: #d9dce1; --soft: #f4f6f8; --accent: #2f5d8a; }
* { box-sizing: border-box; }
body { margin: 0; color: var(--ink); background: #ffffff; font: 15px/1.5 system-ui, -apple-system, "Segoe UI", Roboto, "Helvetica Neue", Arial, sans-serif; }
main { max-width: 1240px; margin: 0 auto; padding: 24px 28px 48px; }
h1 { font-size: 26px; margin: 0 0 4px; }
h2 { font-size: 20px; margin: 36px 0 8px; padding-top: 12px; border-top: 2px solid var(--line); }
h3 { font-size: 16px; margin: 22px 0 6px; }
a { color: var(--accent); }
code, .seq { font-family: ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, "Liberation Mono", monospace; font-size: 13px; }
code { background: var(--soft); padding: 1px 4px; border-radius: 3px; overflow-wrap: anywhere; }
code.nowrap { white-space: nowrap; }
.lead { font-size: 17px; margin: 4px 0 16px; }
.muted, .legend { color: var(--muted); font-size: 13px; }
.note { background: #fff8e1; border-left: 4px solid #f2b600; padding: 8px 12px; margin: 12px 0; }
.none { background: var(--soft); border-left: 4px solid var(--muted); padding: 12px 16px; margin: 16px 0; }
.none p { margin: 4px 0; }
dl.facts { display: grid; grid-template-columns: max-content 1fr; gap: 4px 18px; margin: 12px 0; }
dl.facts dt { color: var(--muted); }
dl.facts dd { margin: 0; }
.files { display: flex; flex-wrap: wrap; gap: 6px 18px; padding: 0; margin: 8px 0; list-style: none; }
.scroll { overflow-x: auto; }
.table-box { overflow: auto; max-height: 75vh; border: 1px solid var(--line); border-radius: 4px; display: inline-block; max-width: 100%; }
.table-box table { margin: 0; }
.table-box th { position: sticky; top: 0; z-index: 1; }
td.genome, td.nowrap { white-space: nowrap; }
table { border-collapse: collapse; margin: 8px 0; }
th, td { padding: 4px 10px; border-bottom: 1px solid var(--line); text-align: left; vertical-align: middle; }
th { background: var(--soft); font-weight: 600; font-size: 13px; white-space: nowrap; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
tbody tr:hover { background: #f9fbfd; }
table.motifs td { padding: 6px 10px; }
.consensus { font-family: ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace; font-size: 13px; overflow-wrap: anywhere; }
table.motifs td.consensus { max-width: 150px; }
h2 .consensus { font-size: 18px; }
svg.logo { display: block; }
.logos { display: flex; flex-wrap: wrap; gap: 8px 24px; }
figure { margin: 8px 0; }
figcaption { color: var(--muted); font-size: 13px; }
.arc-legend { display: flex; align-items: center; gap: 10px; }
.arc-legend svg { flex: none; }
td.site { white-space: pre; font-family: ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace; font-size: 13px; }
td.site .flank { color: #8a8f98; }
td.site .word { font-weight: 700; }
.A { color: #d62728; } .C { color: #1f77b4; } .G { color: #ff7f0e; } .T { color: #2ca02c; }
td.name { max-width: 360px; overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
th.sortable { cursor: pointer; user-select: none; }
th.sortable::after { content: " \2195"; color: #9aa0a6; }
th[aria-sort="ascending"]::after { content: " \2191"; color: var(--ink); }
th[aria-sort="descending"]::after { content: " \2193"; color: var(--ink); }
details { margin: 8px 0; }
summary { cursor: pointer; color: var(--accent); }
.match { margin: .8em 0 .2em; } .logo { line-height: 0; }
footer { margin-top: 40px; color: var(--muted); font-size: 13px; border-top: 1px solid var(--line); padding-top: 10px; }
)";

// Column headers become sort buttons; without script the tables are simply in their given order.
inline constexpr std::string_view kPageSortScript = R"(
document.querySelectorAll('table.sort').forEach(function (table) {
  var heads = table.tHead.rows[0].cells;
  Array.prototype.forEach.call(heads, function (head, column) {
    head.classList.add('sortable');
    head.tabIndex = 0;
    head.title = 'Sort by this column';
    function key(row) {
      var cell = row.cells[column];
      var value = cell.getAttribute('data-sort');
      return value === null ? cell.textContent : parseFloat(value);
    }
    function sort() {
      var ascending = head.getAttribute('aria-sort') !== 'ascending';
      Array.prototype.forEach.call(heads, function (h) { h.removeAttribute('aria-sort'); });
      head.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
      var body = table.tBodies[0];
      var rows = Array.prototype.slice.call(body.rows);
      rows.sort(function (a, b) {
        var x = key(a), y = key(b);
        var order = typeof x === 'number' ? x - y : x.localeCompare(y, undefined, { numeric: true });
        return ascending ? order : -order;
      });
      rows.forEach(function (row) { body.appendChild(row); });
    }
    head.addEventListener('click', sort);
    head.addEventListener('keydown', function (event) {
      if (event.key === 'Enter' || event.key === ' ') { event.preventDefault(); sort(); }
    });
  });
});
)";

}  // namespace kalvo::html
