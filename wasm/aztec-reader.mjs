// Aztec Code reader for the browser and Node: the whole-frame reader compiled to WebAssembly.
//
//   import { createReader } from './aztec-reader.mjs';
//   const reader = await createReader();
//   const symbols = reader.read(imageData);            // canvas ImageData (RGBA)
//   const symbols = reader.read({ data, width, height, stride }); // luminance plane (Uint8Array)
//
// The module keeps one input buffer and grows it only for a larger frame, so reading a video
// frame by frame allocates nothing here beyond the result objects.

const FLAG_TRY_INVERTED = 1;
const FLAG_READ_RUNES = 2;
const FLAG_RGBA = 4;
// Largest frame accepted, as in the command-line tool: 2^28 pixels.
const MAX_PIXELS = 1 << 28;
const FORMATS = ['compact', 'full-range', 'rune'];
const OPTION_NAMES = new Set(['tryInverted', 'readRunes', 'maxSymbols', 'region']);

async function loadModuleBytes(source) {
  if (source instanceof ArrayBuffer || ArrayBuffer.isView(source)) return source;
  const url = source ?? new URL('aztec-reader.wasm', import.meta.url);
  if (typeof process === 'object' && process.versions?.node && String(url).startsWith('file:')) {
    const { readFile } = await import('node:fs/promises');
    return readFile(new URL(url));
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`aztec-reader: cannot load ${url}: HTTP ${response.status}`);
  return response.arrayBuffer();
}

function describe(value) {
  if (value === null) return 'null';
  if (Array.isArray(value)) return 'an array';
  if (typeof value === 'object') return `a ${value.constructor?.name ?? 'object'}`;
  return `${typeof value} ${String(value)}`;
}

function checkInteger(name, value, min) {
  if (typeof value !== 'number') throw new TypeError(`aztec-reader: ${name} must be a number, got ${describe(value)}`);
  if (!Number.isInteger(value) || value < min || value > 0x7fffffff)
    throw new RangeError(`aztec-reader: ${name} must be an integer of at least ${min}, got ${value}`);
  return value;
}

function checkBoolean(name, value) {
  if (typeof value !== 'boolean') throw new TypeError(`aztec-reader: ${name} must be true or false, got ${describe(value)}`);
  return value;
}

// Options -> [flags, maxSymbols, x, y, width, height], checked.
function readOptions(options) {
  if (options === undefined) return [FLAG_TRY_INVERTED | FLAG_READ_RUNES, 16, 0, 0, 0, 0];
  if (options === null || typeof options !== 'object')
    throw new TypeError(`aztec-reader: options must be an object, got ${describe(options)}`);
  for (const key of Object.keys(options))
    if (!OPTION_NAMES.has(key)) throw new TypeError(`aztec-reader: unknown option '${key}'`);
  let flags = 0;
  if (options.tryInverted === undefined || checkBoolean('options.tryInverted', options.tryInverted)) flags |= FLAG_TRY_INVERTED;
  if (options.readRunes === undefined || checkBoolean('options.readRunes', options.readRunes)) flags |= FLAG_READ_RUNES;
  const max = options.maxSymbols === undefined ? 16 : checkInteger('options.maxSymbols', options.maxSymbols, 1);
  const region = options.region;
  if (region === undefined) return [flags, max, 0, 0, 0, 0];
  if (region === null || typeof region !== 'object')
    throw new TypeError(`aztec-reader: options.region must be {x, y, width, height}, got ${describe(region)}`);
  return [flags, max, checkInteger('options.region.x', region.x, 0), checkInteger('options.region.y', region.y, 0),
    checkInteger('options.region.width', region.width, 0), checkInteger('options.region.height', region.height, 0)];
}

class AztecReader {
  #exports;
  #memory;
  #failure = null;

  constructor(instance) {
    this.#exports = instance.exports;
    this.#memory = instance.exports.memory;
  }

  // Every symbol in the frame, nearest to the centre first; [] when there is none.
  read(image, options) {
    if (image === null || typeof image !== 'object')
      throw new TypeError(`aztec-reader: read() takes an ImageData or {data, width, height, stride}, got ${describe(image)}`);
    const { data } = image;
    const rgba = data instanceof Uint8ClampedArray;
    if (!rgba && !(data instanceof Uint8Array))
      throw new TypeError(`aztec-reader: image.data must be a Uint8ClampedArray (RGBA, as in ImageData) or a Uint8Array (luminance), got ${describe(data)}`);
    const width = checkInteger('image.width', image.width, 1);
    const height = checkInteger('image.height', image.height, 1);
    if (width * height > MAX_PIXELS) throw new RangeError(`aztec-reader: a ${width} x ${height} frame is larger than ${MAX_PIXELS} pixels`);
    const pixelBytes = rgba ? 4 : 1;
    const stride = image.stride === undefined ? width * pixelBytes : checkInteger('image.stride', image.stride, width * pixelBytes);
    const needed = (height - 1) * stride + width * pixelBytes;
    if (needed > 0x7fffffff) throw new RangeError(`aztec-reader: a frame of ${needed} bytes is too large`);
    if (data.length < needed)
      throw new RangeError(`aztec-reader: image.data holds ${data.length} bytes but a ${width} x ${height} ${rgba ? 'RGBA' : 'luminance'} frame with stride ${stride} needs ${needed}`);
    const [flags, maxSymbols, x, y, w, h] = readOptions(options);

    if (this.#failure) throw new Error(`aztec-reader: this reader failed earlier (${this.#failure}); create a new one`);
    const e = this.#exports;
    let count;
    try {
      const at = e.aztec_input(needed);
      if (at === 0) throw new RangeError(`aztec-reader: no memory for a frame of ${needed} bytes`);
      // The buffer may have grown the memory: views are made after the call.
      new Uint8Array(this.#memory.buffer, at, needed).set(data.subarray(0, needed));
      count = e.aztec_read(width, height, stride, flags | (rgba ? FLAG_RGBA : 0), maxSymbols, x, y, w, h);
    } catch (error) {
      // A trap leaves the module's stack and heap in an unknown state: no further reads.
      if (error instanceof WebAssembly.RuntimeError) this.#failure = error.message;
      throw error;
    }
    if (count < 0) throw new Error(`aztec-reader: ${this.#string(e.aztec_error())}`);
    return this.#results(e.aztec_output(), count);
  }

  // Bytes of the module's heap in use: steady from frame to frame unless something leaks.
  heapUsed() {
    return this.#exports.aztec_heap_used();
  }

  #string(at) {
    const bytes = new Uint8Array(this.#memory.buffer, at);
    return new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0)));
  }

  // Parses the records aztec_wasm.cpp writes: 16 int32, 8 doubles, bytes, text, ID, padding.
  #results(at, count) {
    const buffer = this.#memory.buffer;
    const view = new DataView(buffer);
    const utf8 = new TextDecoder();
    const symbols = [];
    for (let n = 0; n < count; ++n) {
      const int = (i) => view.getInt32(at + 4 * i, true);
      const [bytesLength, textLength, idLength, flags] = [int(0), int(1), int(2), int(3)];
      const corners = [];
      for (let c = 0; c < 4; ++c)
        corners.push({ x: view.getFloat64(at + 64 + 16 * c, true), y: view.getFloat64(at + 72 + 16 * c, true) });
      let p = at + 128;
      const bytes = new Uint8Array(buffer.slice(p, p + bytesLength));
      p += bytesLength;
      const text = utf8.decode(new Uint8Array(buffer, p, textLength));
      p += textLength;
      const id = utf8.decode(new Uint8Array(buffer, p, idLength));
      p += idLength;
      symbols.push({
        text,
        bytes,
        gs1: (flags & 1) !== 0,
        structuredAppend: flags & 16 ? { index: int(10), count: int(11), id } : null,
        readerInitialisation: (flags & 2) !== 0,
        format: FORMATS[int(4)],
        layers: int(5),
        dataCodewords: int(6),
        checkCodewords: int(7),
        correctedCodewords: int(8),
        rotation: int(9),
        mirrored: (flags & 4) !== 0,
        inverted: (flags & 8) !== 0,
        corners,
      });
      at = (p + 7) & ~7;
    }
    return symbols;
  }
}

// Loads and starts the module. `settings.wasm` may give the module's URL or its bytes; by
// default aztec-reader.wasm next to this file.
export async function createReader(settings = {}) {
  const bytes = await loadModuleBytes(settings.wasm);
  let memory = null;
  const imports = {
    env: { emscripten_notify_memory_growth() {} },
    wasi_snapshot_preview1: {
      // Only the read trace's timer asks for the time: wall clock (id 0) or monotonic, in ns.
      clock_time_get(id, precision, out) {
        const ns = id === 0 ? BigInt(Date.now()) * 1000000n : BigInt(Math.round(performance.now() * 1e6));
        new DataView(memory.buffer).setBigUint64(out, ns, true);
        return 0;
      },
      proc_exit(code) {
        throw new Error(`aztec-reader: the module stopped (exit ${code})`);
      },
    },
  };
  const { instance } = await WebAssembly.instantiate(bytes, imports);
  memory = instance.exports.memory;
  if (!instance.exports.memory) throw new Error('aztec-reader: the module exports no memory');
  instance.exports._initialize();
  return new AztecReader(instance);
}
