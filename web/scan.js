// The scanning page: camera frames and image files go to the reader in worker.js, one camera
// frame at a time, so the reader sets the pace and the video plays on regardless.

const $ = (id) => document.getElementById(id);
const video = $('video');
const overlay = $('overlay');
const still = $('still');
const reads = $('reads');
const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });

let frameInFlight = false;
let nextId = 1;
const readTimes = []; // when each of the last camera reads finished, for the rate
const seen = new Map(); // message (hex) -> its list entry
const pendingFiles = new Map(); // job id -> file name

function say(element, message, problem = false) {
  element.textContent = message;
  element.classList.toggle('problem', problem);
}

const hexOf = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join(' ');
// Control characters other than tab and line breaks mean binary data: shown as hex.
const isBinary = (bytes) => bytes.some((b) => (b < 0x20 && b !== 9 && b !== 10 && b !== 13) || b === 0x7f);

function drawOutlines(context, symbols, scale = 1) {
  context.lineWidth = Math.max(3, 3 * scale);
  context.strokeStyle = '#00e676';
  context.fillStyle = '#ff1744';
  for (const { corners } of symbols) {
    context.beginPath();
    corners.forEach(({ x, y }, i) => (i ? context.lineTo(x, y) : context.moveTo(x, y)));
    context.closePath();
    context.stroke();
    // The symbol's own top-left corner, so its orientation shows.
    context.fillRect(corners[0].x - 3 * scale, corners[0].y - 3 * scale, 6 * scale, 6 * scale);
  }
}

function list(symbol, source) {
  const key = hexOf(symbol.bytes);
  const known = seen.get(key);
  if (known) {
    known.count += 1;
    known.counter.textContent = `×${known.count}`;
    return;
  }
  const binary = isBinary(symbol.bytes);
  const item = document.createElement('li');
  const text = document.createElement('span');
  text.className = 'text';
  text.textContent = binary ? `(binary, ${symbol.bytes.length} bytes)` : symbol.text;
  const meta = document.createElement('span');
  meta.className = 'meta';
  meta.textContent = `${symbol.format}, ${symbol.layers} layer${symbol.layers === 1 ? '' : 's'} · ${source}`;
  const counter = document.createElement('span');
  counter.className = 'meta';
  counter.textContent = '×1';
  const copy = document.createElement('button');
  copy.type = 'button';
  copy.textContent = 'Copy';
  copy.addEventListener('click', () => {
    const value = binary ? hexOf(symbol.bytes) : symbol.text;
    navigator.clipboard?.writeText(value).then(
      () => (copy.textContent = 'Copied'),
      () => (copy.textContent = 'Copy failed'),
    ) ?? (copy.textContent = 'Copy failed');
  });
  item.append(text, meta, counter, copy);
  if (binary) {
    const hex = document.createElement('code');
    hex.className = 'hex';
    hex.textContent = hexOf(symbol.bytes);
    item.append(hex);
  }
  reads.prepend(item);
  seen.set(key, { count: 1, counter });
}

function showRate(ms) {
  const now = performance.now();
  readTimes.push(now);
  while (readTimes[0] < now - 2000) readTimes.shift();
  const perSecond = readTimes.length > 1 ? ((readTimes.length - 1) * 1000) / (now - readTimes[0]) : 0;
  $('rate').textContent = `${perSecond.toFixed(1)} frames/s · ${ms.toFixed(1)} ms per read`;
  $('rate').dataset.fps = perSecond.toFixed(2);
}

worker.onmessage = ({ data: answer }) => {
  if (answer.kind === 'ready') return;
  if (answer.kind === 'failed') {
    say($('status'), `The reader could not be loaded: ${answer.error}`, true);
    return;
  }
  if (answer.kind === 'frame') {
    frameInFlight = false;
    if (answer.error) {
      say($('status'), `Reading the camera failed: ${answer.error}`, true);
      return;
    }
    overlay.width = answer.width;
    overlay.height = answer.height;
    drawOutlines(overlay.getContext('2d'), answer.symbols, answer.width / 640);
    for (const symbol of answer.symbols) list(symbol, 'camera');
    showRate(answer.ms);
    return;
  }
  const name = pendingFiles.get(answer.id);
  pendingFiles.delete(answer.id);
  if (answer.error) {
    say($('file-status'), `${name}: reading failed: ${answer.error}`, true);
    return;
  }
  const count = answer.symbols.length;
  say($('file-status'), count ? `${name}: ${count} symbol${count === 1 ? '' : 's'} read` : `${name}: no Aztec Code found`);
  drawOutlines(still.getContext('2d'), answer.symbols, answer.width / 640);
  for (const symbol of answer.symbols) list(symbol, name);
};

worker.onerror = (event) => {
  event.preventDefault();
  say($('status'), `The reader stopped: ${event.message || 'worker error'}`, true);
};

// One camera frame to the worker whenever it is free.
async function pump() {
  if (!frameInFlight && video.readyState >= 2 && video.videoWidth > 0) {
    frameInFlight = true;
    try {
      const bitmap = await createImageBitmap(video);
      worker.postMessage({ id: nextId++, kind: 'frame', bitmap }, [bitmap]);
    } catch {
      frameInFlight = false; // a frame not ready yet: the next one will do
    }
  }
  if (video.requestVideoFrameCallback) video.requestVideoFrameCallback(pump);
  else requestAnimationFrame(pump);
}

async function startCamera() {
  const fallback = 'You can still read an image file.';
  if (!navigator.mediaDevices?.getUserMedia) {
    say($('status'), `This browser offers no camera here (a camera needs https or localhost). ${fallback}`, true);
    return;
  }
  say($('status'), 'Asking for the camera…');
  let stream;
  try {
    stream = await navigator.mediaDevices.getUserMedia({
      audio: false,
      video: { facingMode: { ideal: 'environment' }, width: { ideal: 1280 }, height: { ideal: 720 } },
    });
  } catch (error) {
    const why = {
      NotAllowedError: 'Camera access was refused.',
      SecurityError: 'Camera access was refused.',
      NotFoundError: 'No camera was found.',
      OverconstrainedError: 'No camera was found.',
      NotReadableError: 'The camera is in use by another program.',
    }[error?.name] ?? `The camera could not be started (${error?.name ?? error}).`;
    say($('status'), `${why} ${fallback}`, true);
    return;
  }
  video.srcObject = stream;
  try {
    await video.play();
  } catch (error) {
    say($('status'), `The video could not be played (${error?.name ?? error}). ${fallback}`, true);
    return;
  }
  say($('status'), `Camera on (${video.videoWidth} × ${video.videoHeight}). Hold an Aztec Code in view.`);
  pump();
}

async function readFile(file) {
  if (!file) return;
  let bitmap;
  try {
    bitmap = await createImageBitmap(file);
  } catch {
    still.hidden = true;
    say($('file-status'), `${file.name} is not an image this browser can open.`, true);
    return;
  }
  still.width = bitmap.width;
  still.height = bitmap.height;
  still.getContext('2d').drawImage(bitmap, 0, 0);
  still.hidden = false;
  say($('file-status'), `${file.name}: reading…`);
  const id = nextId++;
  pendingFiles.set(id, file.name);
  worker.postMessage({ id, kind: 'file', bitmap }, [bitmap]);
}

$('file').addEventListener('change', (event) => {
  readFile(event.target.files[0]);
  event.target.value = '';
});
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  readFile(event.dataTransfer?.files[0]);
});

startCamera();
