// Read time of one frame (640 x 480 and 1280 x 720, the full-range sample centred on white) in
// WebAssembly under Node and in headless Chromium, against the native aztec-read. Not a test:
// it prints figures. Build the wasm preset and aztec-read in the bench preset first.
// usage: node wasm/figures.mjs [NATIVE_AZTEC_READ]   (default build/bench/tools/aztec-read)

import { execFileSync, spawn, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const root = path.resolve(import.meta.dirname, '..');
const webDir = path.join(root, 'build/wasm/web');
const native = process.argv[2] ?? path.join(root, 'build/bench/tools/aztec-read');
const scratch = mkdtempSync(path.join(os.tmpdir(), 'aztec-figures-'));
const ROUNDS = 30;
const median = (xs) => xs.sort((a, b) => a - b)[xs.length >> 1];

const frames = [[640, 480], [1280, 720]].map(([width, height]) => {
  const file = path.join(scratch, `${width}x${height}.gray`);
  execFileSync('ffmpeg', ['-loglevel', 'error', '-i', path.join(root, 'samples/full-range-boarding.png'), '-vf',
    `pad=${width}:${height}:(ow-iw)/2:(oh-ih)/2:white`, '-pix_fmt', 'gray', '-f', 'rawvideo', file]);
  return { width, height, file };
});

function timeReads(reader, frame) {
  const times = [];
  for (let i = 0; i < ROUNDS + 5; ++i) {
    const started = performance.now();
    if (reader.read(frame).length !== 1) throw new Error('the frame did not read');
    times.push(performance.now() - started);
  }
  return median(times.slice(5));
}

const { createReader } = await import(pathToFileURL(path.join(webDir, 'aztec-reader.mjs')));
const reader = await createReader();
const nodeMs = frames.map((f) => timeReads(reader, { data: new Uint8Array(readFileSync(f.file)), width: f.width, height: f.height }));

// Native: aztec-read --time, the median of its per-frame read times.
const nativeMs = frames.map((f) => {
  const report = spawnSync(native, ['--time', '--size', `${f.width}x${f.height}`, ...Array(ROUNDS + 5).fill(f.file)],
    { encoding: 'utf8' }).stderr;
  const times = [...report.matchAll(/read in ([\d.]+) ms/g)].map((m) => Number(m[1]));
  if (times.length !== ROUNDS + 5) throw new Error(`aztec-read --time gave: ${report}`);
  return median(times.slice(5));
});

const puppeteer = createRequire(path.join(root, 'build/wasm/e2e/package.json'))('puppeteer-core');
const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', webDir],
  { stdio: ['ignore', 'pipe', 'ignore'] });
const origin = await new Promise((resolve) => server.stdout.on('data', (c) => {
  const port = /port (\d+)/.exec(String(c))?.[1];
  if (port) resolve(`http://127.0.0.1:${port}`);
}));
const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: true,
  userDataDir: path.join(scratch, 'profile'), args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'] });
const page = await browser.newPage();
await page.goto(`${origin}/style.css`);
const chromiumMs = [];
for (const f of frames) {
  chromiumMs.push(await page.evaluate(async (base64, width, height, rounds) => {
    const { createReader: create } = await import('./aztec-reader.mjs');
    const r = await create();
    const data = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const times = [];
    for (let i = 0; i < rounds + 5; ++i) {
      const started = performance.now();
      if (r.read({ data, width, height }).length !== 1) throw new Error('the frame did not read');
      times.push(performance.now() - started);
    }
    return times.slice(5).sort((a, b) => a - b)[rounds >> 1];
  }, readFileSync(f.file).toString('base64'), f.width, f.height, ROUNDS));
}
await browser.close();
server.kill();
rmSync(scratch, { recursive: true, force: true });

console.log('frame      native ms  Node wasm ms (ratio)  Chromium wasm ms (ratio)');
frames.forEach((f, i) => console.log(`${`${f.width}x${f.height}`.padEnd(10)} ${nativeMs[i].toFixed(2).padStart(9)}  ` +
  `${nodeMs[i].toFixed(2).padStart(12)} (${(nodeMs[i] / nativeMs[i]).toFixed(2)})  ` +
  `${chromiumMs[i].toFixed(2).padStart(16)} (${(chromiumMs[i] / nativeMs[i]).toFixed(2)})`));
