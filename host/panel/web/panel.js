// The fins-host panel: a tag table built from the first state document, then kept up to
// date by the event stream, which sends only what changed.
'use strict';

const TREND_RATE_HZ = 4;

const rows = new Map();        // tag name -> {tag, tr (the row element), cells}
const pending = new Map();     // request id -> tag name
const trended = new Set();     // names on the trend
let actions = [];              // the latest actions list: an answer may come after its outcome
let samples = [];              // [Date, Map(name -> value)]
let graph = null, paused = false, sortKey = 'name', sortUp = true;
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

function hexAndBits(tag) {
  if (isBits(tag) || !tag.values.length) return '';
  const hex = tag.values.map((v) => '0x' + v.toString(16).toUpperCase().padStart(4, '0'));
  if (tag.values.length > 1) return hex.join(' ');
  return hex[0] + '  ' + tag.values[0].toString(2).padStart(16, '0').replace(/(\d{4})(?=\d)/g, '$1 ');
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
  span('type', tag.type_name);
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
  input.placeholder = isBits(tag) ? '0 or 1' : 'value';
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
  row.cells.value.textContent = row.cells.value.title = row.tag.values.join(' ');
  row.cells.hex.textContent = hexAndBits(row.tag);
  row.cells.age.textContent = ageText(row.tag);
  row.tr.classList.toggle('stale', !!row.tag.stale);
  row.tr.dataset.stale = row.tag.stale ? 'true' : 'false';
}

function sortValue(row) {
  const t = row.tag;
  return { name: t.name, type: t.type_name, address: t.address, station: t.station,
           value: t.values[0], age: t.age_ms }[sortKey];
}

function sortTable() {
  const list = [...rows.values()].sort((a, b) => {
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
    const values = a.values && a.values.length ? a.values.join(' ') : '';
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
  trended.forEach((name) => values.set(name, rows.get(name).tag.values[0]));
  samples.push([new Date(), values]);
  const keep = Number($('#minutes').value) * 60 * TREND_RATE_HZ;
  if (samples.length > keep) samples = samples.slice(samples.length - keep);
}

function drawTrend() {
  const names = [...trended];
  const box = $('#trend');
  if (!names.length) { if (graph) { graph.destroy(); graph = null; } box.dataset.points = '0'; return; }
  const data = samples.map(([t, v]) => [t, ...names.map((n) => (v.has(n) ? v.get(n) : null))]);
  if (!data.length) return;
  const series = {};
  names.forEach((n) => { series[n] = { stepPlot: isBits(rows.get(n).tag) }; });
  const options = { file: data, labels: ['time', ...names], series, connectSeparatedPoints: true, legend: 'always' };
  if (!graph) graph = new Dygraph(box, data, options);
  else graph.updateOptions(options);
  box.dataset.points = String(data.filter((row) => row.slice(1).some((v) => v !== null)).length);
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

function onUpdate(u) {
  document.body.classList.remove('unknown');
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
$('#pause').onclick = () => { paused = !paused; $('#pause').textContent = paused ? 'Resume' : 'Pause'; if (!paused) drawTrend(); };
connect();
