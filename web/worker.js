// Reads frames off the page's thread so the video never waits for the reader. A message holds
// an ImageBitmap (a camera frame or a decoded file); the answer holds the symbols and the time
// the read took.

import { createReader } from './aztec-reader.mjs';

const ready = createReader();
let canvas = null;
let context = null;

self.onmessage = async ({ data: job }) => {
  const { id, kind, bitmap } = job;
  try {
    const reader = await ready;
    const { width, height } = bitmap;
    // One canvas for every frame of the same size.
    if (!canvas || canvas.width !== width || canvas.height !== height) {
      canvas = new OffscreenCanvas(width, height);
      context = canvas.getContext('2d', { willReadFrequently: true });
    }
    context.drawImage(bitmap, 0, 0);
    bitmap.close();
    const started = performance.now();
    const symbols = reader.read(context.getImageData(0, 0, width, height));
    self.postMessage({ id, kind, width, height, symbols, ms: performance.now() - started });
  } catch (error) {
    bitmap?.close();
    self.postMessage({ id, kind, error: String(error?.message ?? error) });
  }
};

ready.then(
  () => self.postMessage({ kind: 'ready' }),
  (error) => self.postMessage({ kind: 'failed', error: String(error?.message ?? error) }),
);
