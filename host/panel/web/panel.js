// The fins-host panel: a tag table built from the first state document, then kept up to
// date by the event stream, which sends only what changed.
'use strict';

const TREND_RATE_HZ = 4;
// Samples further apart than this many refreshes had a gap (no contact): drawn as one.
const GAP_REFRESHES = 3;
const BIT_LANE = 1.5; // each bit of the bit band in its own lane: 0/1 plus a margin

const rows = new Map();        // tag name -> {tag, tr (the row element), cells}
const pending = new Map();     // request id -> tag name
const trended = new Set();     // names on the trend
let actions = [];              // the latest actions list: an answer may come after its outcome
let samples = [];              // [Date, Map(name -> value)]
let graph = null, bitGraph = null, paused = false, sortKey = null, sortUp = true; // null: file order
// ?trend=a,b puts those tags on the trend when the page opens.
let trendAsked = new URLSearchParams(location.search).getAll('trend').join(',').split(',').filter(Boolean);

const $ = (sel) => document.querySelector(sel);

function cell(tr, field, text, kind = 'td') {
  const td = document.createElement(kind);
  if (field) td.dataset.field = field;
  if (text !== undefined) td.textContent = text;
  tr.appendChild(td);
  return td;
}

function isBits(tag) { return tag.bits; }

// A typed value as the screen shows it: numbers as read, a text in quotes, and what JSON
// carries as a string (NaN, inf, a 64-bit value beyond 2^53, an invalid BCD word) as is.
function typedText(tag, v) {
  return tag.data_type.startsWith('STRING') ? JSON.stringify(v) : String(v);
}

// The raw words in hex (the binary of a single word in the tooltip).
function rawWords(tag) {
  if (isBits(tag) || !tag.values.length) return ['', ''];
  const hex = tag.values.map((v) => '0x' + v.toString(16).toUpperCase().padStart(4, '0')).join(' ');
  const bin = tag.values.length === 1 ? tag.values[0].toString(2).padStart(16, '0').replace(/(\d{4})(?=\d)/g, '$1 ') : hex;
  return [hex, bin];
}

function area(tag) { return tag.type_name.replace(/\..*/, ''); }

// One value as text; several each with the address it starts at ("D202 33").
function showValue(el, tag) {
  const typed = tag.typed || [];
  el.textContent = '';
  el.title = typed.map((v) => typedText(tag, v)).join(' ');
  if (typed.length <= 1) { el.textContent = el.title; return; }
  // Bits stay on one line under the range they cover; each one's address is in the tooltip.
  if (isBits(tag)) {
    el.title = typed.map((v, i) => area(tag) + tag.addresses[i] + ' = ' + v).join('\n');
    const at = document.createElement('small');
    at.textContent = area(tag) + tag.addresses[0] + '–' + tag.addresses[typed.length - 1];
    el.append(at, ' ' + typed.join(' '));
    return;
  }
  typed.forEach((v, i) => {
    const item = document.createElement('span');
    item.className = 'element';
    const at = document.createElement('small');
    at.textContent = area(tag) + (tag.addresses[i] || '');
    item.append(at, ' ' + typedText(tag, v));
    el.appendChild(item);
  });
}

// What the trend draws of a tag: its first typed value while it is fresh, else a gap.
function trendValue(tag) {
  const v = (tag.typed || [])[0];
  return !tag.stale && typeof v === 'number' ? v : null;
}

function ageText(tag) {
  if (tag.age_ms === null || tag.age_ms === undefined) return tag.stale ? '–' : '';
  return tag.age_ms < 1000 ? '< 1 s' : Math.floor(tag.age_ms / 1000) + ' s';
}

function post(path, body, name) {
  const out = rows.get(name).cells.outcome;
  showOutcome(out, 'pending', body.value === undefined ? '' : 'writing ' + body.value);
  fetch(path, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) })
    .then((res) => res.json().then((answer) => {
      if (res.ok) { pending.set(answer.id, name); showActions(actions); }
      // 409: the tag's station is down, and nothing was queued for its return.
      else showOutcome(out, res.status === 409 ? 'refused' : 'rejected', answer.error || res.statusText);
    }))
    .catch((err) => showOutcome(out, 'rejected', String(err)));
}

function showOutcome(el, state, detail) {
  el.dataset.outcomeState = state;
  el.textContent = detail ? state + ': ' + detail : state;
}

function buildRow(tag) {
  const tr = document.createElement('div');
  tr.className = 'row';
  tr.dataset.tag = tag.name;
  const cells = {};
  const span = (field, text) => cell(tr, field, text, 'span');
  span('name', tag.name);
  span('type', tag.type_name + (tag.data_type === 'UINT' || tag.data_type === 'BOOL' ? '' : ':' + tag.data_type));
  tr.lastChild.title = tr.lastChild.textContent;
  span('address', tag.address);
  span('station', tag.station);
  cells.value = span('value');
  cells.hex = span('hex');
  cells.age = span('age');
  const trend = document.createElement('input');
  trend.type = 'checkbox';
  trend.dataset.trend = tag.name;
  trend.title = 'trend';
  trend.onchange = () => { trend.checked ? trended.add(tag.name) : trended.delete(tag.name); drawTrend(); };
  span().appendChild(trend);
  const tools = span();
  const input = document.createElement('input');
  input.dataset.write = tag.name;
  input.placeholder = isBits(tag) ? '0 or 1' : tag.data_type.startsWith('STRING') ? 'text' : tag.data_type;
  const write = document.createElement('button');
  write.textContent = 'Write';
  write.onclick = () => post('api/write', { tag: tag.name, value: input.value }, tag.name);
  input.onkeydown = (e) => { if (e.key === 'Enter') write.click(); };
  const read = document.createElement('button');
  read.textContent = 'Read';
  read.dataset.read = tag.name;
  read.onclick = () => post('api/read-once', { tag: tag.name }, tag.name);
  tools.append(input, write, read);
  cells.outcome = span();
  cells.outcome.dataset.outcome = tag.name;
  rows.set(tag.name, { tag, tr, cells });
  updateRow(tag);
  return tr;
}

function updateRow(change) {
  const row = rows.get(change.name);
  if (!row) return;
  Object.assign(row.tag, change);
  showValue(row.cells.value, row.tag);
  [row.cells.hex.textContent, row.cells.hex.title] = rawWords(row.tag);
  row.cells.age.textContent = ageText(row.tag);
  row.tr.classList.toggle('stale', !!row.tag.stale);
  row.tr.dataset.stale = row.tag.stale ? 'true' : 'false';
}

function sortValue(row) {
  const t = row.tag;
  return { name: t.name, type: t.type_name, address: t.address, station: t.station,
           value: (t.typed || [])[0], age: t.age_ms }[sortKey];
}

// The tag file's order until a header is clicked.
function sortTable() {
  const list = [...rows.values()];
  if (sortKey) list.sort((a, b) => {
    const x = sortValue(a), y = sortValue(b);
    const order = typeof x === 'number' && typeof y === 'number' ? x - y : String(x).localeCompare(String(y), undefined, { numeric: true });
    return sortUp ? order : -order;
  });
  const body = $('#tags');
  const frag = document.createDocumentFragment();
  list.forEach((r) => frag.appendChild(r.tr));
  body.appendChild(frag);
  document.querySelectorAll('[data-sort]').forEach((th) => {
    th.classList.toggle('asc', th.dataset.sort === sortKey && sortUp);
    th.classList.toggle('desc', th.dataset.sort === sortKey && !sortUp);
  });
}

function filterTable() {
  const text = $('#filter').value.toLowerCase();
  rows.forEach((r) => { r.tr.hidden = !r.tag.name.toLowerCase().includes(text); });
}

function showStatus(status) {
  $('#status').textContent = status.summary;
  const online = $('#online');
  online.textContent = status.online ? 'online' : 'OFFLINE';
  online.className = 'badge ' + (status.online ? 'up' : 'down');
}

function showStations(stations) {
  const body = $('#stations');
  body.textContent = '';
  stations.forEach((s) => {
    const tr = document.createElement('tr');
    tr.dataset.station = s.station;
    tr.className = s.state === 'online' ? 'up' : 'down'; // idle, connecting and down are not up
    ['station', 'address', 'state', 'reason'].forEach((f) => cell(tr, f, s[f]));
    cell(tr, 'nodes', s.client_node === null ? '–' : s.client_node + ' / ' + s.plc_node);
    ['connects', 'good', 'failures'].forEach((f) => cell(tr, f, s[f]));
    cell(tr, 'rtt_ms', s.rtt_ms === null ? '–' : s.rtt_ms.toFixed(1) + ' ms');
    body.appendChild(tr);
  });
}

function showActions(list) {
  actions = list;
  list.forEach((a) => {
    const name = pending.get(a.id);
    if (!name || !rows.has(name)) return;
    const typed = a.typed && a.typed.length ? a.typed : a.values || [];
    const values = typed.map((v) => typedText(rows.get(name).tag, v)).join(' ');
    // Until the PLC answers, the row keeps the PLC's value and shows the one on its way.
    const writing = a.kind === 'write' && a.outcome === 'pending' ? 'writing ' + a.value : '';
    showOutcome(rows.get(name).cells.outcome, a.outcome, [writing, a.detail, values].filter(Boolean).join(' '));
    if (a.outcome !== 'pending') pending.delete(a.id);
  });
}

function showNotices(notices, leftOut) {
  const list = $('#notices');
  list.textContent = '';
  notices.slice().reverse().forEach((n) => {
    const li = document.createElement('li');
    li.textContent = (n.count > 1 ? n.count + '× ' : '') + n.text;
    list.appendChild(li);
  });
  if (leftOut) {
    const li = document.createElement('li');
    li.textContent = leftOut + ' older notices left out';
    list.appendChild(li);
  }
}

function sample() {
  const values = new Map();
  trended.forEach((name) => values.set(name, trendValue(rows.get(name).tag)));
  const now = new Date();
  const last = samples.length ? samples[samples.length - 1][0] : null;
  // No updates for a while (the host was gone): a row of nothing breaks the lines.
  if (last && now - last > GAP_REFRESHES * refreshMs()) samples.push([new Date(last.getTime() + 1), new Map()]);
  samples.push([now, values]);
  const keep = Number($('#minutes').value) * 60 * TREND_RATE_HZ;
  if (samples.length > keep) samples = samples.slice(samples.length - keep);
}

let lastUpdate = 0, refreshGap = 250;
function refreshMs() { return refreshGap; }

const two = (n) => String(n).padStart(2, '0');
function clockTime(d) { return two(d.getHours()) + ':' + two(d.getMinutes()) + ':' + two(d.getSeconds()); }

// Ticks at whole seconds, minutes or hours, as many as fit: a short span never shows
// one second twice, nor fractions.
const TICK_STEPS_S = [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600];
const TICK_PIXELS = 90;
function clockTicks(min, max, pixels) {
  const span = max - min;
  const step = 1000 * (TICK_STEPS_S.find((s) => (span / (s * 1000)) * TICK_PIXELS <= pixels) || 3600);
  const ticks = [];
  for (let v = Math.ceil(min / step) * step; v <= max; v += step) ticks.push({ v, label: clockTime(new Date(v)) });
  return ticks;
}

// Clock times on the time axis, wide enough not to be cut.
const TIME_AXIS = { x: { ticker: clockTicks, axisLabelWidth: 64,
  valueFormatter: (ms) => clockTime(new Date(ms)) + '.' + String(ms % 1000).padStart(3, '0') } };

// Words on the main plot; bits in a band of their own below it, each bit a 0/1 step
// line in its own lane.
function plot(old, box, names, offsetOf, extra) {
  box.dataset.series = names.join(',');
  box.hidden = !names.length;
  if (!names.length) { if (old) old.destroy(); return null; }
  const data = samples.map(([t, v]) => [t, ...names.map((n, i) => {
    const x = v.has(n) ? v.get(n) : null;
    return x === null ? null : x + offsetOf(i);
  })]);
  if (!data.length) return old;
  const options = Object.assign({ file: data, labels: ['time', ...names], legend: 'always', axes: TIME_AXIS }, extra);
  box.dataset.points = String(data.filter((row) => row.slice(1).some((v) => v !== null)).length);
  if (!old) return new Dygraph(box, data, options);
  old.updateOptions(options);
  return old;
}

function drawTrend() {
  const names = [...trended];
  const words = names.filter((n) => !isBits(rows.get(n).tag));
  const bits = names.filter((n) => isBits(rows.get(n).tag));
  $('#trendhint').hidden = names.length > 0;
  if (!names.length) $('#trend').dataset.points = '0';
  graph = plot(graph, $('#trend'), words, () => 0, {});
  const bitSeries = {};
  bits.forEach((n, i) => { bitSeries[n] = { valueFormatter: (v) => String(Math.round(v - i * BIT_LANE)) }; });
  bitGraph = plot(bitGraph, $('#bittrend'), bits, (i) => i * BIT_LANE, {
    stepPlot: true, series: bitSeries, valueRange: [-0.25, bits.length * BIT_LANE],
    axes: Object.assign({ y: { axisLabelFormatter: () => '', drawGrid: false } }, TIME_AXIS) });
}

function onState(doc) {
  const body = $('#tags');
  body.textContent = '';
  rows.clear();
  const frag = document.createDocumentFragment();
  doc.tags.forEach((t) => frag.appendChild(buildRow(t)));
  body.appendChild(frag);
  trendAsked.forEach((n) => trended.add(n));
  trendAsked = [];
  trended.forEach((n) => { if (!rows.has(n)) trended.delete(n); else rows.get(n).tr.querySelector('[data-trend]').checked = true; });
  sortTable();
  filterTable();
  onUpdate(doc);
}

function showBlocks(blocks) {
  const body = $('#blockrows');
  body.textContent = '';
  blocks.forEach((b) => {
    const tr = document.createElement('tr');
    tr.dataset.block = b.station + ':' + b.area + ':' + b.start;
    [b.station, b.area, b.start, b.count].forEach((v) => cell(tr, '', v));
    cell(tr, 'frame', b.frame ? '0x' + b.frame.area_code.toString(16).toUpperCase().padStart(2, '0') + ' @' + b.frame.start + ' × ' + b.frame.items : '–');
    cell(tr, 'tags', b.tags.join(' '));
    cell(tr, 'rtt', b.rtt_ms === null ? '–' : b.rtt_ms.toFixed(2) + ' ms');
    cell(tr, '', b.reads);
    body.appendChild(tr);
  });
}

function onUpdate(u) {
  document.body.classList.remove('unknown');
  const now = Date.now();
  if (lastUpdate) refreshGap = Math.min(Math.max(now - lastUpdate, 100), 5000) * 0.2 + refreshGap * 0.8;
  lastUpdate = now;
  if (u.frames_per_pass !== undefined) $('#framesperpass').textContent = u.frames_per_pass + ' frame(s) a pass';
  if (u.read_blocks) showBlocks(u.read_blocks);
  showStatus(u.status);
  if (u.stations) showStations(u.stations);
  if (u.actions) showActions(u.actions);
  if (u.notices) showNotices(u.notices, u.notices_left_out);
  u.tags.forEach(updateRow);
  sample();
  if (!paused) drawTrend();
}

function connect() {
  const link = $('#link');
  const events = new EventSource('api/events');
  events.addEventListener('state', (e) => onState(JSON.parse(e.data)));
  events.addEventListener('update', (e) => onUpdate(JSON.parse(e.data)));
  events.onopen = () => { link.textContent = 'live'; link.className = 'badge up'; };
  // Without the stream nothing on the page is known any more: say so everywhere.
  events.onerror = () => {
    link.textContent = 'reconnecting…'; link.className = 'badge down';
    document.body.classList.add('unknown');
    const online = $('#online');
    online.textContent = 'unknown'; online.className = 'badge';
    $('#status').textContent = 'no contact with fins-host: the values below are unknown';
    rows.forEach((r) => { r.cells.age.textContent = '?'; r.tr.dataset.stale = 'true'; });
  };
}

document.querySelectorAll('[data-sort]').forEach((th) => {
  th.onclick = () => { sortUp = sortKey === th.dataset.sort ? !sortUp : true; sortKey = th.dataset.sort; sortTable(); };
});
$('#filter').oninput = filterTable;
// The table's header stays below the page's own while the page scrolls.
new ResizeObserver(() => document.body.style.setProperty('--header-height', $('header').offsetHeight + 'px')).observe($('header'));
$('#pause').onclick = () => { paused = !paused; $('#pause').textContent = paused ? 'Resume' : 'Pause'; if (!paused) drawTrend(); };
connect();
