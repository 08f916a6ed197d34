// The WebAssembly reader under Node: the bundled samples read to the same bytes and fields as
// the native aztec-read, colour frames use the CLI's luminance weights, bad arguments raise
// TypeError/RangeError, and thousands of reads leave the heap as it was.
// env: AZTEC_WEB_DIR (folder with aztec-reader.mjs/.wasm), AZTEC_READ (native aztec-read).

import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { pathToFileURL } from 'node:url';

const root = path.resolve(import.meta.dirname, '../..');
const webDir = process.env.AZTEC_WEB_DIR ?? path.join(root, 'build/wasm/web');
const nativeReader = process.env.AZTEC_READ;
const { createReader } = await import(pathToFileURL(path.join(webDir, 'aztec-reader.mjs')));
const reader = await createReader();

const samples = readFileSync(path.join(root, 'samples/expected-output.txt'), 'utf8')
  .trim()
  .split('\n')
  .map((line) => {
    const [file, text] = line.split(/: (.*)/);
    return { file: path.join(root, file), text };
  });

// A PNG as a luminance plane (the samples are greyscale) through ffmpeg.
function lumaOf(file) {
  const png = readFileSync(file);
  const width = png.readUInt32BE(16);
  const height = png.readUInt32BE(20);
  const data = new Uint8Array(execFileSync('ffmpeg', ['-loglevel', 'error', '-i', file, '-f', 'rawvideo', '-pix_fmt', 'gray', '-']));
  assert.equal(data.length, width * height);
  return { data, width, height };
}

const hex = (bytes) => Buffer.from(bytes).toString('hex');

test('samples read to the CLI bytes and fields, as RGBA and as a luminance plane', () => {
  assert.ok(nativeReader, 'AZTEC_READ must name the native aztec-read');
  const native = execFileSync(nativeReader, ['--json', ...samples.map((s) => s.file)], { encoding: 'utf8' })
    .trim()
    .split('\n')
    .map((line) => JSON.parse(line));
  for (const sample of samples) {
    const luma = lumaOf(sample.file);
    const rgba = new Uint8ClampedArray(luma.data.length * 4);
    luma.data.forEach((v, i) => rgba.set([v, v, v, 255], 4 * i));
    // The same plane again with rows 37 bytes apart and the buffer cut right after the last
    // row's pixels: the exact size must be accepted.
    const stride = luma.width + 37;
    const padded = new Uint8Array((luma.height - 1) * stride + luma.width);
    for (let y = 0; y < luma.height; ++y) padded.set(luma.data.subarray(y * luma.width, (y + 1) * luma.width), y * stride);

    const want = native.find((n) => n.file === sample.file);
    assert.ok(want, `native reader gave nothing for ${sample.file}`);
    for (const [name, got] of [
      ['rgba', reader.read({ data: rgba, width: luma.width, height: luma.height })],
      ['padded', reader.read({ data: padded, width: luma.width, height: luma.height, stride })],
    ]) {
      const where = `${path.basename(sample.file)} (${name})`;
      assert.equal(got.length, 1, where);
      const s = got[0];
      assert.ok(s.bytes instanceof Uint8Array, where);
      // The CLI prints the message bytes as Latin-1.
      assert.equal(hex(s.bytes), Buffer.from(sample.text, 'latin1').toString('hex'), where);
      assert.equal(s.text, want.text, where);
      assert.equal(hex(s.bytes), want.bytesHex, where);
      for (const key of ['gs1', 'structuredAppend', 'readerInitialisation', 'format', 'layers', 'dataCodewords',
        'checkCodewords', 'correctedCodewords', 'rotation', 'mirrored', 'inverted'])
        assert.deepEqual(s[key], want[key], `${where}: ${key}`);
      s.corners.forEach((c, i) => {
        assert.ok(Math.abs(c.x - want.corners[i][0]) < 0.006 && Math.abs(c.y - want.corners[i][1]) < 0.006,
          `${where}: corner ${i} ${JSON.stringify(c)} vs ${want.corners[i]}`);
      });
    }
  }
});

test('colour frames reduce with (77 R + 150 G + 29 B) >> 8', () => {
  // Dark modules (0, 60, 255) and light ones (255, 60, 0) weigh 64 and 111; with red and blue
  // swapped they would weigh 111 and 64 and read only as an inverted symbol.
  const { data, width, height } = lumaOf(samples[0].file);
  const rgba = new Uint8ClampedArray(width * height * 4);
  data.forEach((v, i) => rgba.set([v, 60, 255 - v, 255], 4 * i));
  const got = reader.read({ data: rgba, width, height }, { tryInverted: false });
  assert.equal(got.length, 1);
  assert.equal(got[0].text, samples[0].text);
  assert.equal(got[0].inverted, false);
});

test('bad arguments raise TypeError or RangeError and read nothing', () => {
  const ok = { data: new Uint8Array(100), width: 10, height: 10 };
  const cases = [
    [TypeError, /read\(\) takes an ImageData/, [null]],
    [TypeError, /read\(\) takes an ImageData/, ['frame.png']],
    [TypeError, /image.data must be a Uint8ClampedArray .* got an array/, [{ data: [1, 2, 3], width: 3, height: 1 }]],
    [TypeError, /image.data must be .* got a Float32Array/, [{ data: new Float32Array(100), width: 10, height: 10 }]],
    [TypeError, /image.width must be a number, got string 10/, [{ ...ok, width: '10' }]],
    [RangeError, /image.width must be an integer of at least 1, got 0/, [{ ...ok, width: 0 }]],
    [RangeError, /image.height must be an integer of at least 1, got 2.5/, [{ ...ok, height: 2.5 }]],
    [RangeError, /image.stride must be an integer of at least 10, got 9/, [{ ...ok, stride: 9 }]],
    [RangeError, /holds 99 bytes but a 10 x 10 luminance frame with stride 10 needs 100/, [{ ...ok, data: new Uint8Array(99) }]],
    [RangeError, /holds 73 bytes but a 10 x 2 luminance frame with stride 64 needs 74/, [{ data: new Uint8Array(73), width: 10, height: 2, stride: 64 }]],
    [RangeError, /holds 399 bytes but a 10 x 10 RGBA frame with stride 40 needs 400/, [{ data: new Uint8ClampedArray(399), width: 10, height: 10 }]],
    [RangeError, /larger than 268435456 pixels/, [{ ...ok, width: 65536, height: 65536 }]],
    [TypeError, /options must be an object, got string fast/, [ok, 'fast']],
    [TypeError, /unknown option 'maxSymbol'/, [ok, { maxSymbol: 1 }]],
    [TypeError, /options.tryInverted must be true or false, got number 1/, [ok, { tryInverted: 1 }]],
    [RangeError, /options.maxSymbols must be an integer of at least 1, got 0/, [ok, { maxSymbols: 0 }]],
    [TypeError, /options.region must be \{x, y, width, height\}, got null/, [ok, { region: null }]],
    [RangeError, /options.region.x must be an integer of at least 0, got -1/, [ok, { region: { x: -1, y: 0, width: 1, height: 1 } }]],
  ];
  for (const [type, message, args] of cases)
    assert.throws(() => reader.read(...args), (e) => e instanceof type && new RegExp(message).test(e.message), String(message));
  // Still reads after all that.
  assert.deepEqual(reader.read(ok), []);
});

test('thousands of reads leave the heap as it was', () => {
  const { data, width, height } = lumaOf(samples[0].file);
  // The symbol and a margin, as a view into the full frame (rows `width` bytes apart).
  const { corners } = reader.read({ data, width, height })[0];
  const x0 = Math.min(width - 200, Math.max(0, Math.floor(Math.min(...corners.map((c) => c.x))) - 40));
  const y0 = Math.min(height - 200, Math.max(0, Math.floor(Math.min(...corners.map((c) => c.y))) - 40));
  const crop = { data: data.subarray(y0 * width + x0), width: 200, height: 200, stride: width };
  const noise = { data: new Uint8Array(320 * 240).map((_, i) => (i * 2654435761) >>> 24), width: 320, height: 240 };
  const round = () => {
    assert.equal(reader.read(crop)[0]?.text, samples[0].text);
    reader.read(noise);
    assert.throws(() => reader.read({ ...crop, stride: 1 }), RangeError);
  };
  round();
  const before = reader.heapUsed();
  for (let i = 0; i < 3000; ++i) round();
  assert.equal(reader.heapUsed(), before);
});
