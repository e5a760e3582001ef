// The fins-host panel in a real (headless, system) Chromium against the simulator.
// Run by run.sh with FINS_HOST, FINS_PLCSIM and CHROMIUM set; PANEL_SCREENSHOT=FILE
// also saves a screenshot of the panel.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtempSync, writeFileSync, readFileSync, existsSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const WAIT_MS = 30000; // generous: a loaded CI machine starts Chromium slowly
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];
// The demo's screen and memory (counter and blinker move on their own), and a tag in
// the PLC's read-only auxiliary area (A0-A447).
const DEMO = new URL('../../host/demo/', import.meta.url);
const TAGS = readFileSync(new URL('screen.tags', DEMO), 'utf8') + 'aux_flags A 10\nspare_real D:REAL 400\n';
const MEMORY = new URL('plc-memory.txt', DEMO).pathname;

const work = mkdtempSync(join(tmpdir(), 'fins-panel-'));
const children = [];

function start(program, args) {
  const child = spawn(program, args, { stdio: ['ignore', 'ignore', 'pipe'] });
  child.stderrText = '';
  child.stderr.on('data', (d) => { child.stderrText += d; });
  children.push(child);
  return child;
}

async function until(what, check) {
  const end = Date.now() + WAIT_MS;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise((r) => setTimeout(r, 50));
  }
}

function startSim(port) {
  const portFile = join(work, 'port');
  rmSync(portFile, { force: true });
  const sim = start(process.env.FINS_PLCSIM, ['--port', String(port), '--port-file', portFile,
    '--node', '200', '--memory', MEMORY, '--animate', '--animate-interval', '100']);
  return until('the simulator to listen', () => existsSync(portFile) && readFileSync(portFile, 'utf8').trim())
    .then((p) => ({ sim, port: Number(p) }));
}

let sim, port, page, context;
const row = (name) => `[data-tag="${name}"]`;
const valueOf = (name) => page.textContent(`${row(name)} [data-field="value"]`);
const outcomeOf = (name) => page.textContent(`[data-outcome="${name}"]`);
async function writeInPage(name, value) {
  await page.fill(`input[data-write="${name}"]`, value);
  await page.click(`${row(name)} button:has-text("Write")`);
}
async function outcomeMatching(name, pattern) {
  await page.waitForFunction(([n, p]) => new RegExp(p).test(document.querySelector(`[data-outcome="${n}"]`).textContent),
    [name, pattern.source], { timeout: WAIT_MS });
  return outcomeOf(name);
}

after(async () => {
  if (context) await context.close();
  children.forEach((c) => c.kill('SIGKILL'));
  rmSync(work, { recursive: true, force: true });
});

test('the page loads and shows every tag', async () => {
  ({ sim, port } = await startSim(0));
  writeFileSync(join(work, 'panel.tags'), TAGS);
  const host = start(process.env.FINS_HOST, ['--tags', join(work, 'panel.tags'), '--plc', `127.0.0.1:${port}`,
    '--http', '127.0.0.1:0', '--plain', '--timeout-ms', '300', '--refresh-ms', '250']);
  const url = await until('the panel address', () => (host.stderrText.match(/panel at (\S+)/) || [])[1]);
  context = await chromium.launchPersistentContext(join(work, 'profile'), {
    executablePath: process.env.CHROMIUM, headless: true, args: CHROMIUM_FLAGS,
    viewport: { width: 1024, height: 900 } });
  page = context.pages()[0] || await context.newPage();
  await page.goto(url);
  await page.waitForSelector(`${row('aux_flags')} [data-field="value"]:not(:empty)`, { timeout: WAIT_MS });
  const names = TAGS.split('\n').filter((l) => /^\w/.test(l)).map((l) => l.split(/\s+/)[0]);
  // The tag file's order; each element of a multi-element tag with its address; the
  // outcome column within 1024 pixels; a hint where the trend will be.
  assert.deepEqual(await page.$$eval('[data-tag]', (els) => els.map((e) => e.dataset.tag)), names);
  assert.deepEqual(await page.$$eval(`${row('recipe')} .element small`, (els) => els.map((e) => e.textContent)),
    ['D200', 'D201', 'D202', 'D203']);
  assert.ok(await page.$eval('[data-outcome="spare_real"]', (e) => e.getBoundingClientRect().right <= innerWidth));
  assert.ok(await page.isVisible('#trendhint'));
  // Scrolled past its first rows, the table's header stays just below the page's own.
  const gap = await page.evaluate(() => {
    scrollTo(0, document.querySelector('#tags').getBoundingClientRect().top + scrollY + 200);
    return document.querySelector('.row.head').getBoundingClientRect().top - document.querySelector('header').getBoundingClientRect().bottom;
  });
  assert.ok(Math.abs(gap) <= 1, String(gap));
});

test('the block map lists every tag in a block the driver sent', async () => {
  await page.waitForSelector('#blockrows tr', { timeout: WAIT_MS });
  const covered = (await page.$$eval('#blockrows [data-field="tags"]', (els) => els.map((e) => e.textContent))).join(' ').split(' ');
  const names = TAGS.split('\n').filter((l) => /^\w/.test(l)).map((l) => l.split(/\s+/)[0]);
  assert.deepEqual(names.filter((n) => !covered.includes(n)), []);
  assert.match(await page.textContent('#framesperpass'), /^\d+ frame\(s\) a pass$/);
});

test('a typed write reaches the PLC\'s words: REAL 23.5 is 0x0000 0x41BC and shows as 23.5', async () => {
  await writeInPage('spare_real', '23.5');
  assert.match(await outcomeMatching('spare_real', /^(done|refused|gave up|rejected)/), /^done/);
  await page.waitForFunction(() => document.querySelector('[data-tag="spare_real"] [data-field="hex"]').textContent === '0x0000 0x41BC',
    null, { timeout: WAIT_MS });
  assert.equal(await valueOf('spare_real'), '23.5');
  await writeInPage('spare_real', 'warm');
  assert.match(await outcomeMatching('spare_real', /^(done|refused|gave up|rejected)/), /^rejected: .*REAL/);
});

test('the counter changes on its own', async () => {
  const first = await valueOf('counter');
  await page.waitForFunction((v) => document.querySelector('[data-tag="counter"] [data-field="value"]').textContent !== v,
    first, { timeout: WAIT_MS });
});

test('a write reaches the PLC and a read of the PLC shows it', async () => {
  await writeInPage('setpoint', '1750');
  assert.match(await outcomeMatching('setpoint', /^(done|refused|gave up|rejected)/), /^done/);
  await page.click(`${row('setpoint')} button[data-read]`);
  assert.match(await outcomeMatching('setpoint', /^(done|refused|gave up|rejected).* \d+$/), /^done.* 1750$/);
});

test('a write to a read-only address is refused with its end code', async () => {
  await writeInPage('aux_flags', '5');
  assert.match(await outcomeMatching('aux_flags', /^(done|refused|gave up|rejected)/), /^refused.*end code 0x2101/);
});

test('a stopped PLC marks values stale and the station down; a new one brings them back', async () => {
  sim.kill('SIGTERM');
  await page.waitForSelector(`${row('counter')}[data-stale="true"]`, { timeout: WAIT_MS });
  await page.waitForSelector('tr[data-station].down', { timeout: WAIT_MS });
  await writeInPage('setpoint', '9'); // refused at once: nothing waits for the PLC's return
  assert.match(await outcomeMatching('setpoint', /^(done|refused|gave up|rejected)/), /^refused: station 1 is down: /);
  ({ sim } = await startSim(port));
  await page.waitForSelector(`${row('counter')}[data-stale="false"]`, { timeout: WAIT_MS });
  await page.waitForSelector('tr[data-station].up', { timeout: WAIT_MS });
});

test('a trend of the counter with clock times, and the blinker in a band of its own', async () => {
  await page.check('input[data-trend="counter"]');
  await page.check('input[data-trend="blinker"]');
  await page.check('input[data-trend="temperature"]');
  await page.waitForFunction(() => Number(document.querySelector('#trend').dataset.points) >= 8, null, { timeout: WAIT_MS });
  assert.ok(await page.locator('#trend canvas').count() > 0);
  assert.equal(await page.getAttribute('#trend', 'data-series'), 'counter,temperature');
  assert.equal(await page.getAttribute('#bittrend', 'data-series'), 'blinker');
  assert.ok(await page.locator('#bittrend canvas').count() > 0);
  const labels = await page.$$eval('#trend .dygraph-axis-label-x', (els) => els.map((e) => e.textContent));
  assert.ok(labels.length > 0 && labels.every((l) => /^\d\d:\d\d:\d\d$/.test(l)), labels.join(' '));
  assert.equal(new Set(labels).size, labels.length, labels.join(' '));
  await page.evaluate(() => scrollTo(0, 0)); // the sticky headers where they belong
  if (process.env.PANEL_SCREENSHOT) await page.screenshot({ path: process.env.PANEL_SCREENSHOT, fullPage: true });
});

test('a host that ends leaves a page that says its values are unknown', async () => {
  children[1].kill('SIGKILL');
  await page.waitForSelector('body.unknown', { timeout: WAIT_MS });
  assert.equal(await page.textContent('#online'), 'unknown');
  assert.equal(await page.locator(`${row('counter')}[data-stale="true"]`).count(), 1);
});
