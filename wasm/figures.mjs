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
const ROUNDS = 50;
const median = (xs) => xs.sort((a, b) => a - b)[xs.length >> 1];

const frames = [[640, 480], [1280, 720]].map(([width, height]) => {
  const file = path.join(scratch, `${width}x${height}.gray`);
  execFileSync('ffmpeg', ['-loglevel', 'error', '-i', path.join(root, 'samples/full-range-boarding.png'), '-vf',
    `pad=${width}:${height}:(ow-iw)/2:(oh-ih)/2:white`, '-pix_fmt', 'gray', '-f', 'rawvideo', file]);
  return { width, height, file };
});

// Median wall time of a read and CPU time per read (the machine may be shared: CPU time is the
// steadier figure).
function timeReads(reader, frame) {
  const times = [];
  for (let i = 0; i < 30; ++i) reader.read(frame);
  const cpu = process.cpuUsage();
  for (let i = 0; i < ROUNDS; ++i) {
    const started = performance.now();
    if (reader.read(frame).length !== 1) throw new Error('the frame did not read');
    times.push(performance.now() - started);
  }
  const used = process.cpuUsage(cpu);
  return { wall: median(times), cpu: (used.user + used.system) / 1000 / ROUNDS };
}

const { createReader } = await import(pathToFileURL(path.join(webDir, 'aztec-reader.mjs')));
const reader = await createReader();
const nodeMs = frames.map((f) => timeReads(reader, { data: new Uint8Array(readFileSync(f.file)), width: f.width, height: f.height }));

// Native: the median of aztec-read --time's per-frame read times, and the CPU time of reading
// the frame ROUNDS + 1 times less that of reading it once.
const nativeMs = frames.map((f) => {
  const run = (n) => spawnSync('bash', ['-c', '"$0" --time --size "$1" "${@:2}" >/dev/null 2>&1 || exit 1; times',
    native, `${f.width}x${f.height}`, ...Array(n).fill(f.file)], { encoding: 'utf8' }).stdout;
  const cpuOf = (out) => [...out.trim().split('\n').at(-1).matchAll(/(\d+)m([\d.]+)s/g)]
    .reduce((sum, m) => sum + 60000 * Number(m[1]) + 1000 * Number(m[2]), 0);
  const report = spawnSync(native, ['--time', '--size', `${f.width}x${f.height}`, ...Array(ROUNDS).fill(f.file)],
    { encoding: 'utf8' }).stderr;
  const times = [...report.matchAll(/read in ([\d.]+) ms/g)].map((m) => Number(m[1]));
  if (times.length !== ROUNDS) throw new Error(`aztec-read --time gave: ${report}`);
  const many = 10 * ROUNDS;
  return { wall: median(times), cpu: (cpuOf(run(many + 1)) - cpuOf(run(1))) / many };
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
const cdp = await page.createCDPSession();
await cdp.send('Performance.enable');
const threadTime = async () => (await cdp.send('Performance.getMetrics')).metrics.find((m) => m.name === 'ThreadTime').value;
const chromiumMs = [];
for (const f of frames) {
  await page.evaluate(async (base64, width, height) => {
    const { createReader: create } = await import('./aztec-reader.mjs');
    const r = await create();
    const data = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    for (let i = 0; i < 30; ++i) r.read({ data, width, height });
    window.job = { r, frame: { data, width, height } };
  }, readFileSync(f.file).toString('base64'), f.width, f.height);
  const before = await threadTime();
  const wall = await page.evaluate((rounds) => {
    const times = [];
    for (let i = 0; i < rounds; ++i) {
      const started = performance.now();
      if (window.job.r.read(window.job.frame).length !== 1) throw new Error('the frame did not read');
      times.push(performance.now() - started);
    }
    return times.sort((a, b) => a - b)[rounds >> 1];
  }, ROUNDS);
  chromiumMs.push({ wall, cpu: ((await threadTime()) - before) * 1000 / ROUNDS });
}
await browser.close();
server.kill();
rmSync(scratch, { recursive: true, force: true });

const cell = (m, base) => `${m.wall.toFixed(2)} / ${m.cpu.toFixed(2)}${base ? ` (${(m.cpu / base.cpu).toFixed(2)}x)` : ''}`;
console.log('ms per read, wall (median) / CPU; ratio of CPU times to native');
console.log('frame      native          Node wasm                Chromium wasm');
frames.forEach((f, i) => console.log(`${`${f.width}x${f.height}`.padEnd(10)} ${cell(nativeMs[i]).padEnd(15)} ` +
  `${cell(nodeMs[i], nativeMs[i]).padEnd(24)} ${cell(chromiumMs[i], nativeMs[i])}`));
