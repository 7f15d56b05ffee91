#include "batch/report_assets.h"

const char kReportStyle[] = R"css(
:root{--finished:#2e9e5b;--reused:#8fcfa6;--failed:#d93f3f;--killed:#8e44ad;
--timed-out:#e8900c;--lost:#5d4037;--not-run:#b0b4ba;--running:#2f7de1;--waiting:#dde1e6;
--outdated:#c7b02e}
body{font:14px/1.45 system-ui,-apple-system,"Segoe UI",sans-serif;color:#1d232b;
margin:0 auto;padding:18px 24px 40px;max-width:1360px;background:#fff}
h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:28px 0 8px;
border-bottom:1px solid #e3e6ea;padding-bottom:4px}
code,pre{font:12.5px/1.4 ui-monospace,"DejaVu Sans Mono",monospace}
.status{display:inline-block;padding:3px 10px;border-radius:12px;font-weight:600;margin:4px 0 10px}
.status.running{background:#e3efff;color:#1a56a8}.status.ended{background:#e5f5eb;color:#1e6e3e}
.status.ended.bad{background:#fdeaea;color:#a82626}
dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:2px 14px;margin:0}
dl.facts dt{color:#5b6570}dl.facts dd{margin:0;word-break:break-all}
ul.counts{list-style:none;display:flex;flex-wrap:wrap;gap:8px;padding:0;margin:0}
ul.counts button{font:inherit;border:1px solid #d5d9de;border-radius:6px;background:#fff;
padding:5px 12px 5px 8px;cursor:pointer;display:flex;align-items:center;gap:7px}
ul.counts button:hover{border-color:#8a949e}ul.counts b{font-size:17px}
.dot{display:inline-block;width:11px;height:11px;border-radius:3px;background:var(--c)}
.s-finished{--c:var(--finished)}.s-reused{--c:var(--reused)}.s-failed{--c:var(--failed)}
.s-killed{--c:var(--killed)}.s-timed-out{--c:var(--timed-out)}.s-lost{--c:var(--lost)}
.s-not-run{--c:var(--not-run)}.s-running{--c:var(--running)}.s-waiting{--c:var(--waiting)}
.s-outdated{--c:var(--outdated)}
svg{display:block;width:100%;height:auto}svg text{font:11px system-ui,sans-serif;fill:#5b6570}
svg rect[class]{fill:var(--c)}svg rect[class]:hover{stroke:#1d232b;stroke-width:1}
svg .grid{stroke:#eceef1}svg .split{stroke:#c9ced4;stroke-dasharray:3 3}
svg .tick{text-anchor:middle}svg .host{text-anchor:end}svg .count{text-anchor:end}
svg .unit{text-anchor:end}svg .axis{stroke:#9aa3ad}
.histogram rect{fill:#6b8fc7}.histogram rect:hover{fill:#2f5ea8}
.note{color:#5b6570;margin:4px 0 8px}
.charts{display:grid;grid-template-columns:1fr 1fr;gap:24px}
figure{margin:0}figcaption{font-weight:600;margin-bottom:4px}
.tops{display:grid;grid-template-columns:1fr 1fr;gap:24px;margin-top:14px;align-items:start}
table{border-collapse:collapse;width:100%}
th,td{text-align:left;padding:3px 8px;border-bottom:1px solid #eef0f2;vertical-align:top}
th{background:#f5f6f8;font-weight:600;white-space:nowrap}
td.n,th.n,#jobs td:nth-child(4),#jobs td:nth-child(n+6):nth-child(-n+9){text-align:right;
font-variant-numeric:tabular-nums;white-space:nowrap}
caption{text-align:left;font-weight:600;padding:0 0 4px}
#jobs td:nth-child(3),#jobs td:nth-child(10),.tops td.st{white-space:nowrap}
#jobs th{cursor:pointer;position:sticky;top:0}#jobs th:hover{background:#e9ecf0}
#jobs th[aria-sort=ascending]::after{content:" \25B2"}
#jobs th[aria-sort=descending]::after{content:" \25BC"}
#jobs td:nth-child(3)::before,.tops td.st::before{content:"";display:inline-block;width:9px;
height:9px;border-radius:2px;margin-right:6px;background:var(--c)}
.job{border:1px solid #e3e6ea;border-left:5px solid var(--c);border-radius:6px;
padding:8px 12px;margin:10px 0}
.job h3{font-size:14px;margin:0 0 4px;word-break:break-all}.job .state{color:var(--c)}
.job p{margin:2px 0}.job pre{background:#f7f8fa;border:1px solid #eceef1;border-radius:4px;
padding:6px 8px;margin:6px 0 0;white-space:pre-wrap;word-break:break-all;max-height:16em;overflow:auto}
.filter{display:flex;gap:12px;align-items:center;margin:0 0 8px}
)css";

const char kReportScript[] = R"js(
"use strict";
(function () {
  const table = document.getElementById("jobs");
  const body = table.tBodies[0];
  const rows = Array.from(body.rows);
  const heads = Array.from(table.tHead.rows[0].cells);
  const filter = document.getElementById("state-filter");
  const shown = document.getElementById("shown");
  const pager = document.getElementById("pager");
  const previous = document.getElementById("previous");
  const next = document.getElementById("next");
  const size = +table.dataset.page;
  let column = -1, descending = false, page = 0, view = rows;

  function key(row, c, numeric) {
    const cell = row.cells[c];
    const text = cell.dataset.v !== undefined ? cell.dataset.v : cell.textContent;
    if (!numeric) return text;
    const value = parseFloat(text);
    return Number.isNaN(value) ? null : value;
  }
  function compare(a, b) {
    if (a === b) return 0;
    if (a === null) return 1;
    if (b === null) return -1;
    const order = typeof a === "number" ? a - b : a < b ? -1 : 1;
    return descending ? -order : order;
  }
  function sort(c, down) {
    column = c;
    descending = down;
    const numeric = heads[c].classList.contains("n");
    const keyed = rows.map((row, i) => [key(row, c, numeric), i, row]);
    keyed.sort((x, y) => compare(x[0], y[0]) || x[1] - y[1]);
    keyed.forEach((k, i) => { rows[i] = k[2]; });
    heads.forEach((h, i) => h.setAttribute("aria-sort",
        i !== c ? "none" : down ? "descending" : "ascending"));
  }
  function choose(state) {
    filter.value = state;
    view = state === "" ? rows : rows.filter((row) => row.className === state);
  }
  function render() {
    const pages = Math.max(1, Math.ceil(view.length / size));
    page = Math.max(0, Math.min(page, pages - 1));
    const first = page * size;
    const part = view.slice(first, first + size);
    for (const row of part) row.hidden = false;
    body.replaceChildren(...part);
    const of = view.length === rows.length ? "" : " (of " + rows.length + ")";
    shown.textContent = pages === 1 ? view.length + " of " + rows.length + " jobs shown"
        : "rows " + (first + 1) + " to " + (first + part.length) + " of " + view.length +
          " jobs" + of;
    pager.hidden = pages === 1;
    previous.disabled = page === 0;
    next.disabled = page === pages - 1;
  }
  function remember() {
    const parts = [];
    if (column >= 0) parts.push("sort=" + column + (descending ? "d" : "a"));
    if (filter.value) parts.push("state=" + filter.value);
    if (page > 0) parts.push("page=" + (page + 1));
    history.replaceState(null, "", parts.length ? "#" + parts.join("&") : location.pathname);
  }
  function recall() {
    const wanted = new URLSearchParams(location.hash.slice(1));
    const sorted = /^(\d+)([ad])$/.exec(wanted.get("sort") || "");
    if (sorted && +sorted[1] < heads.length) sort(+sorted[1], sorted[2] === "d");
    const state = wanted.get("state") || "";
    choose(Array.from(filter.options).some((o) => o.value === state) ? state : "");
    page = (parseInt(wanted.get("page"), 10) || 1) - 1;
    render();
  }
  function act(change) {
    return () => { change(); render(); remember(); };
  }

  heads.forEach((h, c) => h.addEventListener("click", act(() => {
    sort(c, column === c ? !descending : false);
    choose(filter.value);
    page = 0;
  })));
  filter.addEventListener("change", act(() => { choose(filter.value); page = 0; }));
  previous.addEventListener("click", act(() => { --page; }));
  next.addEventListener("click", act(() => { ++page; }));
  for (const button of document.querySelectorAll("ul.counts button")) {
    button.addEventListener("click", act(() => {
      choose(button.dataset.state);
      page = 0;
      table.scrollIntoView();
    }));
  }
  recall();
  document.body.dataset.ready = "1";
})();
)js";
