// The scanning page in headless Chromium, served by python3 -m http.server: a fake camera plays
// two samples in turn and both messages must be listed with an outline drawn; an image file
// reads, a text file gives a message; a refused camera leaves the file picker working. Nothing
// may reach the console as an error.
// env: AZTEC_WEB_DIR (the built page), AZTEC_E2E_MODULES (folder where `npm ci` put puppeteer-core).

import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

const root = path.resolve(import.meta.dirname, '../..');
const webDir = process.env.AZTEC_WEB_DIR ?? path.join(root, 'build/wasm/web');
const modules = process.env.AZTEC_E2E_MODULES ?? path.join(root, 'build/wasm/e2e');
const puppeteer = createRequire(path.join(modules, 'package.json'))('puppeteer-core');
const sample = (name) => path.join(root, 'samples', name);
const TICKET = 'TKT 4471-0923 ZONE B SEAT 14C';
const ORDER = 'ORDER 2024-000187 TOTAL 1249.50 EUR PAID';
const BOARDING = 'BOARDING PASS / Flight VL2217 OSL-AMS';

const scratch = mkdtempSync(path.join(os.tmpdir(), 'aztec-e2e-'));
let server;
let browser;
let origin;
const problems = []; // console errors and uncaught exceptions of every page

// One second of each sample centred on a white 640 x 480 frame, 30 frames a second.
function makeVideo() {
  const file = path.join(scratch, 'camera.y4m');
  const pad = 'pad=640:480:(ow-iw)/2:(oh-ih)/2:white,format=yuv420p';
  execFileSync('ffmpeg', ['-loglevel', 'error', '-loop', '1', '-framerate', '30', '-t', '1', '-i', sample('compact-ticket.png'),
    '-loop', '1', '-framerate', '30', '-t', '1', '-i', sample('upside-down-order.png'),
    '-filter_complex', `[0]${pad}[a];[1]${pad}[b];[a][b]concat=n=2`, '-f', 'yuv4mpegpipe', file]);
  return file;
}

function serve() {
  return new Promise((resolve, reject) => {
    server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', webDir],
      { stdio: ['ignore', 'pipe', 'ignore'] });
    server.on('error', reject);
    server.stdout.on('data', (chunk) => {
      const port = /port (\d+)/.exec(String(chunk))?.[1];
      if (port) resolve(`http://127.0.0.1:${port}`);
    });
  });
}

async function openPage(prepare) {
  const page = await browser.newPage();
  page.on('console', (m) => m.type() === 'error' && problems.push(`console: ${m.text()}`));
  page.on('pageerror', (e) => problems.push(`exception: ${e.message}`));
  if (prepare) await page.evaluateOnNewDocument(prepare);
  await page.goto(`${origin}/index.html`);
  return page;
}

const textOf = (page, selector) => page.$eval(selector, (e) => e.textContent);
const waitForText = (page, selector, text) =>
  page.waitForFunction((s, t) => document.querySelector(s)?.textContent.includes(t), { timeout: 30000 }, selector, text);

before(async () => {
  const video = makeVideo();
  origin = await serve();
  browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: path.join(scratch, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--use-fake-device-for-media-stream',
      '--use-fake-ui-for-media-stream', `--use-file-for-fake-video-capture=${video}`],
  });
});

after(async () => {
  await browser?.close();
  server?.kill();
  rmSync(scratch, { recursive: true, force: true });
});

test('the camera reads both symbols, outlines them and shows its rate; files read or are refused', async (t) => {
  const page = await openPage();
  await waitForText(page, '#status', 'Camera on (640 × 480)');
  await waitForText(page, '#reads', TICKET);
  await waitForText(page, '#reads', ORDER);

  // The outline: enough of its green on the overlay, spanning a symbol's width.
  const outline = await page.$eval('#overlay', (canvas) => {
    const { data, width } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
    let count = 0;
    let [left, right] = [width, 0];
    for (let i = 0; i < data.length; i += 4)
      if (data[i + 3] > 200 && data[i + 1] > 180 && data[i] < 60) {
        ++count;
        left = Math.min(left, (i / 4) % width);
        right = Math.max(right, (i / 4) % width);
      }
    return { count, span: right - left, size: [canvas.width, canvas.height] };
  });
  assert.deepEqual(outline.size, [640, 480]);
  assert.ok(outline.count > 300 && outline.span > 60, `no outline drawn: ${JSON.stringify(outline)}`);

  await new Promise((resolve) => setTimeout(resolve, 3000));
  const rate = await textOf(page, '#rate');
  assert.match(rate, /^\d+\.\d frames\/s · \d+\.\d ms per read$/);
  t.diagnostic(`fake camera 640x480: ${rate}`);

  const input = await page.$('#file');
  await input.uploadFile(sample('full-range-boarding.png'));
  await waitForText(page, '#file-status', 'full-range-boarding.png: 1 symbol read');
  await waitForText(page, '#reads', BOARDING);
  await input.uploadFile(path.join(root, 'samples/expected-output.txt'));
  await waitForText(page, '#file-status', 'expected-output.txt is not an image this browser can open.');
  await page.close();
});

test('a refused camera says so and the file picker still reads', async () => {
  const page = await openPage(() => {
    navigator.mediaDevices.getUserMedia = () => Promise.reject(new DOMException('denied', 'NotAllowedError'));
  });
  await waitForText(page, '#status', 'Camera access was refused. You can still read an image file.');
  await (await page.$('#file')).uploadFile(sample('rotated-mirrored.png'));
  await waitForText(page, '#reads', 'Mirror image, turned 90°: Ærøskøbing 5970');
  await page.close();
});

test('no page logged an error', () => {
  assert.deepEqual(problems, []);
});
