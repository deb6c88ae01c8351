// The report page's style sheet and script. The script builds the pages' table from the JSON
// data block and escapes every text it places in markup; it loads nothing.
#include <cstdio>
#include <string>

#include "engine/score_bands.h"
#include "io/html_report_parts.h"

namespace velmora::io::report {

namespace {

constexpr std::string_view kStyle = R"css(
:root{--line:#d9dce1;--muted:#5f6368;--bg:#f6f7f9}
*{box-sizing:border-box}
body{font:14px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans",sans-serif;margin:0;
 color:#202124;background:#fff}
header{padding:16px 24px;background:var(--bg);border-bottom:1px solid var(--line)}
h1{font-size:22px;margin:0 0 8px}
h2{font-size:18px;margin:24px 0 8px;border-bottom:1px solid var(--line);padding-bottom:4px}
h3{font-size:15px;margin:12px 0 6px}
main{padding:0 24px 24px}
table{border-collapse:collapse}
.facts th{text-align:left;font-weight:600;padding:1px 16px 1px 0;color:var(--muted);
 vertical-align:top}
.facts td{padding:1px 0;overflow-wrap:anywhere}
.strategies{display:flex;flex-wrap:wrap;gap:24px}
.strategy{flex:1 1 420px;border:1px solid var(--line);border-radius:6px;padding:8px 16px}
.figures{display:flex;flex-wrap:wrap;gap:20px;margin:4px 0 8px}
.figure .value{display:block;font-size:20px;font-weight:600}
.figure .label{color:var(--muted);font-size:12px}
.chart{width:100%;max-width:420px;height:auto;display:block}
.chart rect.good{fill:var(--good)}.chart rect.avg{fill:var(--avg)}.chart rect.poor{fill:var(--poor)}
.chart text{font-size:11px;text-anchor:middle;fill:#202124}.chart text.axis{fill:var(--muted)}
.medians th,.medians td{padding:2px 10px;text-align:right;border-bottom:1px solid var(--line)}
.list{width:100%;margin-bottom:8px}
.list th,.list td,#pages th,#pages td{padding:3px 6px;border-bottom:1px solid var(--line);
 vertical-align:top;text-align:left}
.list th,#pages th{background:var(--bg);font-weight:600}
.num{text-align:right!important;font-variant-numeric:tabular-nums;white-space:nowrap}
.url{overflow-wrap:anywhere;max-width:40em}
#pages td.url details{min-width:18em}
.note,.none{color:var(--muted);font-size:12px}
.good{color:var(--good)}.avg{color:var(--avg)}.poor{color:var(--poor)}
.down{color:var(--poor)}.up{color:var(--good)}
.controls{display:flex;flex-wrap:wrap;gap:8px;align-items:center;margin:8px 0}
.controls input[type=search]{min-width:22em;padding:4px 6px}
.controls button{padding:4px 10px}
.controls button[aria-pressed=true]{font-weight:700;background:#dfe6f3}
#pages{width:100%}
#pages th{cursor:pointer;user-select:none;position:sticky;top:0;white-space:nowrap}
#pages th[aria-sort=ascending]::after{content:" \25B2"}
#pages th[aria-sort=descending]::after{content:" \25BC"}
#pages summary{cursor:pointer}
#pages tbody tr:hover{background:#fafbfc}
.detail{background:var(--bg)}
.detail ul{margin:4px 0;padding-left:20px}
.detail .sc{display:inline-block;min-width:2.5em;font-weight:600}
.detail .dv{color:var(--muted)}
.detail .err{color:var(--poor)}
.detail img{max-width:240px;border:1px solid var(--line)}
@media print{
 header{background:none}
 .controls,#more{display:none}
 body{font-size:10px}
 .strategies{flex-wrap:nowrap;gap:12px}
 .strategy{flex:1 1 0;min-width:0}
 #pages td.url details{min-width:14em}
 .strategy,tr,figure{break-inside:avoid}
 h2{break-after:avoid}
 #pages th{position:static}
 *{-webkit-print-color-adjust:exact;print-color-adjust:exact}
}
)css";

constexpr std::string_view kScript = R"js(
(function () {
  'use strict';
  var D = JSON.parse(document.getElementById('report-data').textContent);
  var T = D.t, cols = D.cols, rows = D.rows;
  var strategy = 0, sortCol = -2, sortDir = 1, limit = 200, filter = 'all', query = '';
  var view = [];
  var collator = new Intl.Collator(document.documentElement.lang || undefined,
                                   {numeric: true, sensitivity: 'base'});
  var errCol = cols.length - 1, changeCol = -1;
  cols.forEach(function (c, i) { if (c[1] === 'change') changeCol = i; });
  if (D.compared) { sortCol = changeCol; }

  function esc(s) {
    return String(s).replace(/[&<>"']/g, function (c) { return '&#' + c.charCodeAt(0) + ';'; });
  }
  function cells(r) { return r[2 + strategy] || []; }
  function num(v) {
    if (typeof v === 'number') return v;
    return Array.isArray(v) ? v[1] : null;
  }
  function text(v, kind) {
    if (v === null || v === undefined) return '';
    if (Array.isArray(v)) return v[0];
    if (typeof v === 'number' && kind === 'change' && v > 0) return '+' + v;
    return String(v);
  }
  function band(v) { return v >= D.bands[0] ? 'good' : v >= D.bands[1] ? 'avg' : 'poor'; }
  function key(r, c) {
    if (c === -2) return r[0];
    if (c === -1) return r[1];
    var v = cells(r)[c], n = num(v);
    if (typeof n === 'number') return n;
    return v === null || v === undefined || v === '' ? null : text(v);
  }
  function compare(x, y) {
    if (typeof x === 'number' && typeof y === 'number') return x - y;
    if (typeof x === 'number') return -1;
    if (typeof y === 'number') return 1;
    return collator.compare(x, y);
  }
  function matches(r) {
    var c = cells(r);
    if (query && r[1].toLowerCase().indexOf(query) < 0 &&
        text(c[errCol]).toLowerCase().indexOf(query) < 0) return false;
    if (filter === 'all') return true;
    if (filter === 'errors') return !!c[errCol];
    if (filter === 'worse') return typeof c[changeCol] === 'number' && c[changeCol] < 0;
    var s = c[0];
    if (typeof s !== 'number') return false;
    var b = band(s);
    return filter === 'poor' ? b === 'poor' : filter === 'average' ? b === 'avg' : b === 'good';
  }
  // Missing values go last whichever the direction; ties keep the list's order.
  function update() {
    var keyed = [];
    for (var i = 0; i < rows.length; i++)
      if (matches(rows[i])) keyed.push({k: key(rows[i], sortCol), i: i});
    keyed.sort(function (a, b) {
      if (a.k === null || b.k === null) return a.k === b.k ? a.i - b.i : (a.k === null ? 1 : -1);
      return compare(a.k, b.k) * sortDir || a.i - b.i;
    });
    view = keyed.map(function (e) { return e.i; });
    render();
  }
  function rowHtml(i) {
    var r = rows[i], c = cells(r);
    var h = '<tr data-i="' + i + '"><td class="num">' + r[0] + '</td><td class="url"><details>' +
            '<summary>' + esc(r[1]) + '</summary></details></td>';
    for (var k = 0; k < cols.length; k++) {
      var v = c[k], kind = cols[k][1], cls = kind === 'text' ? '' : 'num';
      if (kind === 'score' && typeof v === 'number') cls += ' ' + band(v);
      if (kind === 'change' && typeof v === 'number') cls += v < 0 ? ' down' : v > 0 ? ' up' : '';
      h += '<td class="' + cls + '">' + esc(text(v, kind)) + '</td>';
    }
    return h + '</tr>';
  }
  var table = document.getElementById('pages'), tbody = table.tBodies[0];
  var status = document.getElementById('shown'), more = document.getElementById('more');
  function render() {
    var n = Math.min(view.length, limit), html = new Array(n);
    for (var i = 0; i < n; i++) html[i] = rowHtml(view[i]);
    tbody.innerHTML = html.join('');
    status.textContent = T.shown.replace('%s', n).replace('%s', view.length);
    more.hidden = n >= view.length;
    var ths = table.tHead.rows[0].cells;
    for (var k = 0; k < ths.length; k++)
      ths[k].setAttribute('aria-sort', +ths[k].dataset.c === sortCol
          ? (sortDir > 0 ? 'ascending' : 'descending') : 'none');
  }
  function detailHtml(r) {
    var d = r[4 + strategy], h = '';
    if (!d) return h;
    if (d[1]) h += '<p class="err"><b>' + esc(T.error) + ':</b> ' + esc(d[1]) + '</p>';
    if (d[0].length) {
      h += '<h4>' + esc(T.audits) + '</h4><ul>';
      d[0].forEach(function (a) {
        // Informative advice passes; only a failing score is worth a badge.
        var failing = typeof a[2] === 'number' && a[2] < 90;
        h += '<li><span class="sc ' + (failing ? band(a[2]) : '') + '">' +
            (failing ? a[2] : '') + '</span> ' +
            esc(D.titles[a[0]]) + (a[1] ? ' <span class="dv">' + esc(a[1]) + '</span>' : '') +
            '</li>';
      });
      h += '</ul>';
    } else if (!d[1]) {
      h += '<p>' + esc(T.noAudits) + '</p>';
    }
    if (d[2] >= 0)
      h += '<figure><img alt="" src="' + esc(D.shots[d[2]]) + '"><figcaption>' + esc(T.shot) +
           '</figcaption></figure>';
    return h;
  }
  // A page's detail fills a row of its own under the page, while its <details> is open.
  tbody.addEventListener('toggle', function (e) {
    var tr = e.target.closest('tr'), next = tr.nextElementSibling;
    if (next && next.classList.contains('detail')) next.remove();
    if (!e.target.open) return;
    tr.insertAdjacentHTML('afterend', '<tr class="detail"><td></td><td colspan="' +
        (cols.length + 1) + '">' + detailHtml(rows[+tr.dataset.i]) + '</td></tr>');
  }, true);

  var head = '<tr><th data-c="-2">№</th><th data-c="-1">URL</th>';
  cols.forEach(function (c, i) { head += '<th data-c="' + i + '">' + esc(c[0]) + '</th>'; });
  table.tHead.innerHTML = head + '</tr>';
  table.tHead.addEventListener('click', function (e) {
    var th = e.target.closest('th');
    if (!th) return;
    var c = +th.dataset.c;
    sortDir = c === sortCol ? -sortDir : 1;
    sortCol = c;
    update();
  });
  var box = document.getElementById('filter');
  box.placeholder = T.filter;
  box.addEventListener('input', function () { query = box.value.trim().toLowerCase(); update(); });
  var pick = document.getElementById('which');
  ['all', 'errors', 'poor', 'average', 'good'].concat(D.compared ? ['worse'] : [])
    .forEach(function (f) { pick.add(new Option(T[f], f)); });
  pick.addEventListener('change', function () { filter = pick.value; update(); });
  more.textContent = T.more;
  more.addEventListener('click', function () { limit = Infinity; render(); });
  var buttons = document.querySelectorAll('#strategy button');
  buttons.forEach(function (b, s) {
    b.addEventListener('click', function () {
      strategy = s;
      buttons.forEach(function (o, k) { o.setAttribute('aria-pressed', k === s); });
      update();
    });
  });
  document.getElementById('sort-hint').textContent = T.sortHint;
  update();
})();
)js";

}  // namespace

std::string_view PageStyle() {
    static const std::string style = [] {
        std::string css = ":root";
        const char* names[] = {"good", "avg", "poor"};
        for (size_t b = 0; b < kScoreBandText.size(); ++b) {
            char colour[16];
            std::snprintf(colour, sizeof colour, "#%06x", static_cast<unsigned>(kScoreBandText[b]));
            css.append(b ? ";" : "{").append("--").append(names[b]).append(":").append(colour);
        }
        return css + "}" + std::string(kStyle);
    }();
    return style;
}

std::string_view PageScript() {
    return kScript;
}

}  // namespace velmora::io::report
