// The page in a real browser: drives Debian's headless Chromium through the DevTools protocol
// (over --remote-debugging-pipe: fds 3 and 4, messages ending in a NUL byte; no dependency but
// node itself), plays the show on the fixed-step clock at several times, and compares each
// picture with the desktop player's picture of the same frame; then checks that a page whose
// pack is missing, and a browser without WebGL, get a clear message; that the page starts on a
// click and that the show's keys reach the player (Escape ends the show).
//
//   node qor_webTest.mjs URL NATIVE_DIR TIME...
//     URL         the served build-web/ (http://127.0.0.1:PORT/)
//     NATIVE_DIR  holds native_T.png for each TIME (qor-player --fps 30 --seek T --frames 1)
//   QOR_WEB_BROKEN_URL  a copy of the site without its pack, for the load failure check
//   QOR_WEB_STATS       N: also play the whole show at --fps N and print its frame times
//   QOR_WEB_OPEN        N: first open the page N times in a fresh browser, timing its first frame
//                       (QOR_WEB_OPEN_QUERY: more of the address, default frames=1; with it the
//                       player's --stats lines are printed)
//
// A picture matches when the mean absolute difference of each channel is at most 2 levels and
// pixels off by more than 24 in a channel are at most 0.2 % of it (see compare). Exit status 0
// when every check passes.
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { inflateSync } from 'node:zlib';

const [url, nativeDir, ...times] = process.argv.slice(2);
if (!url || !nativeDir || times.length === 0) {
  console.error('usage: node qor_webTest.mjs URL NATIVE_DIR TIME...');
  process.exit(2);
}
const kMeanMax = 2;
const kPixelMax = 24;
const kFps = 30;

// ----- PNG (8-bit RGB or RGBA, not interlaced), as both players write them
function decodePng(buf) {
  if (buf.readUInt32BE(0) !== 0x89504e47)
    throw new Error('not a PNG file');
  let at = 8;
  let width = 0, height = 0, type = 0;
  const idat = [];
  while (at < buf.length) {
    const len = buf.readUInt32BE(at);
    const kind = buf.toString('latin1', at + 4, at + 8);
    const data = buf.subarray(at + 8, at + 8 + len);
    if (kind === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      type = data[9];
      if (data[8] !== 8 || (type !== 2 && type !== 6) || data[12] !== 0)
        throw new Error('only 8-bit RGB or RGBA PNG files are read');
    } else if (kind === 'IDAT') {
      idat.push(data);
    }
    at += 12 + len;
  }
  const bpp = type === 6 ? 4 : 3;
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * bpp;
  const out = Buffer.alloc(width * height * 3);
  let prev = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let x = 0; x < stride; ++x) {
      const a = x >= bpp ? line[x - bpp] : 0;
      const b = prev[x];
      const c = x >= bpp ? prev[x - bpp] : 0;
      let p = 0;
      if (filter === 1) p = a;
      else if (filter === 2) p = b;
      else if (filter === 3) p = (a + b) >> 1;
      else if (filter === 4) {
        const pa = Math.abs(b - c), pb = Math.abs(a - c), pc = Math.abs(a + b - 2 * c);
        p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      line[x] = (line[x] + p) & 255;
    }
    for (let x = 0; x < width; ++x)
      for (let k = 0; k < 3; ++k)
        out[(y * width + x) * 3 + k] = line[x * bpp + k];
    prev = line;
  }
  return { width, height, rgb: out };
}

// Two rasterizers following the same rules still part on a few pixels: a pixel centre within a
// sub-pixel step of a triangle edge is covered by one and not the other (llvmpipe and
// SwiftShader snap vertices to different sub-pixel grids), and OpenGL leaves the level of detail
// of a minified texture to each implementation's approximation, so far, grazing textures may
// pick another mipmap level. Such pixels are isolated or follow an edge; a real fault (a layer
// missing, a wrong blend, a colour channel swapped) moves the mean or many pixels at once. So:
// the mean absolute difference of each channel at most kMeanMax, and at most kOddShare of the
// pixels off by more than kPixelMax in some channel; those are counted by kind (edge: the web
// pixel matches a neighbour of the desktop's within kPixelMax, a one-pixel shift).
const kOddShare = 0.002;
function compare(a, b) {
  if (a.width !== b.width || a.height !== b.height)
    return { ok: false, why: `size ${a.width}x${a.height} against ${b.width}x${b.height}` };
  const w = a.width, h = a.height;
  const sum = [0, 0, 0];
  let max = 0, odd = 0, edge = 0;
  const near = (i, j) => Math.max(Math.abs(a.rgb[i] - b.rgb[j]), Math.abs(a.rgb[i + 1] - b.rgb[j + 1]),
    Math.abs(a.rgb[i + 2] - b.rgb[j + 2]));
  for (let y = 0; y < h; ++y) {
    for (let x = 0; x < w; ++x) {
      const i = (y * w + x) * 3;
      for (let k = 0; k < 3; ++k)
        sum[k] += Math.abs(a.rgb[i + k] - b.rgb[i + k]);
      const d = near(i, i);
      max = Math.max(max, d);
      if (d <= kPixelMax)
        continue;
      ++odd;
      let shifted = false;
      for (let dy = -1; dy <= 1 && !shifted; ++dy)
        for (let dx = -1; dx <= 1 && !shifted; ++dx) {
          const xx = x + dx, yy = y + dy;
          shifted = xx >= 0 && yy >= 0 && xx < w && yy < h && near(i, (yy * w + xx) * 3) <= kPixelMax;
        }
      if (shifted)
        ++edge;
    }
  }
  const mean = sum.map((s) => s / (w * h));
  const ok = mean.every((m) => m <= kMeanMax) && odd <= kOddShare * w * h;
  return {
    ok,
    why: `mean |diff| r ${mean[0].toFixed(3)} g ${mean[1].toFixed(3)} b ${mean[2].toFixed(3)}, max ${max}; ` +
      `${odd} pixels off by more than ${kPixelMax} (${edge} on an edge shifted one pixel, ${odd - edge} other), ` +
      `at most ${Math.floor(kOddShare * w * h)} allowed`,
  };
}

// ----- the browser
class Browser {
  constructor(extraArgs = []) {
    this.profile = mkdtempSync(join(tmpdir(), 'qor-chromium-'));
    this.proc = spawn('chromium', [
      '--headless', '--no-sandbox', '--remote-debugging-pipe', `--user-data-dir=${this.profile}`,
      '--no-first-run', '--no-default-browser-check', '--disable-extensions', '--mute-audio',
      '--autoplay-policy=no-user-gesture-required', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--window-size=800,600', ...extraArgs, 'about:blank',
    ], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'], detached: true });
    // A process group of its own: close() ends Chromium's helpers (renderer, GPU, crash
    // handler) with it, which otherwise keep writing into the profile while it is removed.
    this.proc.stderr.on('data', () => {});
    this.out = this.proc.stdio[3];
    this.in = this.proc.stdio[4];
    this.nextId = 1;
    this.waiting = new Map();
    this.buffer = Buffer.alloc(0);
    this.in.on('data', (chunk) => {
      this.buffer = Buffer.concat([this.buffer, chunk]);
      let end;
      while ((end = this.buffer.indexOf(0)) >= 0) {
        const msg = JSON.parse(this.buffer.toString('utf8', 0, end));
        this.buffer = this.buffer.subarray(end + 1);
        const w = msg.id !== undefined && this.waiting.get(msg.id);
        if (w) {
          this.waiting.delete(msg.id);
          if (msg.error) w.reject(new Error(`${w.method}: ${msg.error.message}`));
          else w.resolve(msg.result);
        }
      }
    });
  }
  send(method, params = {}, sessionId = undefined) {
    const id = this.nextId++;
    const msg = { id, method, params };
    if (sessionId)
      msg.sessionId = sessionId;
    this.out.write(JSON.stringify(msg) + '\0');
    return new Promise((resolve, reject) => this.waiting.set(id, { resolve, reject, method }));
  }
  async page() {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    return { targetId, sessionId };
  }
  async close() {
    try {
      await Promise.race([this.send('Browser.close'), new Promise((r) => setTimeout(r, 3000))]);
    } catch (e) {
      // the browser may close before answering
    }
    if (this.proc.exitCode === null && this.proc.signalCode === null) {
      const exited = new Promise((r) => this.proc.once('exit', r));
      this.proc.kill();
      await exited;
    }
    try {
      process.kill(-this.proc.pid, 'SIGKILL');
    } catch (e) {
      // the group has ended already
    }
    // The temporary profile is ours to remove, but a leftover one is no failure of the show.
    for (let i = 0; ; ++i) {
      try {
        rmSync(this.profile, { recursive: true, force: true });
        break;
      } catch (e) {
        if (i === 20) {
          console.log(`note  the browser profile ${this.profile} could not be removed: ${e.code}`);
          break;
        }
        await sleep(250);
      }
    }
  }
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Opens the address in a fresh tab and waits until the page has ended or failed; its state.
async function run(browser, address, timeoutMs) {
  const { targetId, sessionId } = await browser.page();
  const t0 = Date.now();
  await browser.send('Page.navigate', { url: address }, sessionId);
  let state = null;
  while (Date.now() - t0 < timeoutMs) {
    await sleep(100);
    const r = await browser.send('Runtime.evaluate', {
      expression: 'window.qorPage ? JSON.stringify(qorPage) : null', returnByValue: true,
    }, sessionId);
    state = r.result.value ? JSON.parse(r.result.value) : null;
    if (state && (state.state === 'ended' || state.state === 'failed'))
      break;
  }
  await browser.send('Target.closeTarget', { targetId });
  return state;
}

let failures = 0;

// QOR_WEB_OPEN=N: N times, a fresh browser (empty cache) opens the page as a visitor would (the
// music's clock, started at once), and the time from opening it to the first show frame is
// printed (a measurement, not a check).
for (let i = 0; i < Number(process.env.QOR_WEB_OPEN || 0); ++i) {
  const fresh = new Browser();
  try {
    const state = await run(fresh, `${url}?autostart=1&stats=1&${process.env.QOR_WEB_OPEN_QUERY || "frames=1"}`, 120000);
    console.log(`open ${i + 1}: ${state && state.state}; files ${(state.loadedMs / 1000).toFixed(2)} s, ` +
      `first show frame ${(state.firstFrameMs / 1000).toFixed(2)} s after page open` +
      (state.errors.length ? `; the player said: ${state.errors.join(" / ")}` : ""));
    if (process.env.QOR_WEB_OPEN_QUERY)
      for (const line of state.log)
        console.log(`  ${line}`);
  } finally {
    await fresh.close();
  }
}

const browser = new Browser();
try {
  for (const t of times) {
    const address = `${url}?fps=${kFps}&seek=${t}&frames=1&capture=1&autostart=1`;
    const state = await run(browser, address, 120000);
    if (!state || state.state !== 'ended' || state.pictures.length !== 1) {
      console.log(`FAIL  t=${t}s: the page did not end with one picture: ` +
        JSON.stringify(state && { state: state.state, error: state.error, errors: state.errors.slice(-5) }));
      ++failures;
      continue;
    }
    const web = decodePng(Buffer.from(state.pictures[0].png, 'base64'));
    writeFileSync(join(nativeDir, `web_${t}.png`), Buffer.from(state.pictures[0].png, 'base64'));
    const native = decodePng(readFileSync(join(nativeDir, `native_${t}.png`)));
    const c = compare(web, native);
    const timing = `files ${(state.loadedMs / 1000).toFixed(2)} s, first frame ${(state.firstFrameMs / 1000).toFixed(2)} s ` +
      `after page open (player started at ${(state.startMs / 1000).toFixed(2)} s)`;
    console.log(`${c.ok ? 'ok  ' : 'FAIL'}  t=${t}s: ${c.why}; ${timing}`);
    if (!c.ok) {
      ++failures;
      for (const line of state.errors.slice(-20))
        console.log(`        page: ${line}`);
    }
  }

  // As a visitor: nothing plays before a click (browsers start sound only after one); a click
  // on the page starts the show.
  {
    const { targetId, sessionId } = await browser.page();
    await browser.send('Page.navigate', { url: `${url}?fps=${kFps}&frames=2` }, sessionId);
    const look = async () => {
      const r = await browser.send('Runtime.evaluate', {
        expression: 'window.qorPage ? JSON.stringify({ state: qorPage.state, loaded: qorPage.loadedMs, ' +
          'text: document.getElementById("message").textContent }) : null', returnByValue: true,
      }, sessionId);
      return r.result.value ? JSON.parse(r.result.value) : {};
    };
    let before = {};
    for (let i = 0; i < 300 && !before.loaded; ++i) {
      await sleep(100);
      before = await look();
    }
    await sleep(500);
    before = await look();
    for (const type of ['mousePressed', 'mouseReleased'])
      await browser.send('Input.dispatchMouseEvent', { type, x: 400, y: 300, button: 'left', clickCount: 1 }, sessionId);
    let after = {};
    for (let i = 0; i < 600 && after.state !== 'ended' && after.state !== 'failed'; ++i) {
      await sleep(100);
      after = await look();
    }
    await browser.send('Target.closeTarget', { targetId });
    const ok = before.state === 'loading' && /Click to start/.test(before.text) && after.state === 'ended';
    console.log(`${ok ? 'ok  ' : 'FAIL'}  click to start: before the click ${JSON.stringify(before)}, after it ${after.state}`);
    if (!ok)
      ++failures;
  }

  // The show's keys reach the player: Escape, released, ends the show on the music's clock.
  {
    const { targetId, sessionId } = await browser.page();
    await browser.send('Page.navigate', { url: `${url}?autostart=1` }, sessionId);
    const look = async () => {
      const r = await browser.send('Runtime.evaluate', {
        expression: 'window.qorPage ? JSON.stringify({ state: qorPage.state, first: qorPage.firstFrameMs }) : null',
        returnByValue: true,
      }, sessionId);
      return r.result.value ? JSON.parse(r.result.value) : {};
    };
    let st = {};
    for (let i = 0; i < 600 && !st.first; ++i) {
      await sleep(100);
      st = await look();
    }
    const playing = st.state === 'playing';
    await sleep(1000);
    const key = { key: 'Escape', code: 'Escape', windowsVirtualKeyCode: 27, nativeVirtualKeyCode: 27 };
    await browser.send('Input.dispatchKeyEvent', { type: 'keyDown', ...key }, sessionId);
    await sleep(200);
    await browser.send('Input.dispatchKeyEvent', { type: 'keyUp', ...key }, sessionId);
    for (let i = 0; i < 100 && st.state === 'playing'; ++i) {
      await sleep(100);
      st = await look();
    }
    await browser.send('Target.closeTarget', { targetId });
    const ok = playing && st.state === 'ended';
    console.log(`${ok ? 'ok  ' : 'FAIL'}  Escape ends the show: playing before ${playing}, then ${st.state}`);
    if (!ok)
      ++failures;
  }

  const broken = process.env.QOR_WEB_BROKEN_URL;
  if (broken) {
    const state = await run(browser, `${broken}?autostart=1`, 60000);
    const ok = state && state.state === 'failed' && /dask243\.dat/.test(state.error || '') &&
      /could not be loaded \(404/.test(state.error || '');
    console.log(`${ok ? 'ok  ' : 'FAIL'}  missing pack: the page says ${JSON.stringify(state && state.error)}`);
    if (!ok)
      ++failures;
  }

  // QOR_WEB_STATS=N: the whole show at N frames a second, its per-screen frame times printed
  // (a measurement, not a check).
  const statsFps = process.env.QOR_WEB_STATS;
  if (statsFps) {
    const state = await run(browser, `${url}?fps=${statsFps}&stats=1&autostart=1`, 900000);
    console.log(`whole show at --fps ${statsFps}: ${state && state.state}, first frame ` +
      `${state && (state.firstFrameMs / 1000).toFixed(2)} s after page open`);
    for (const line of (state && state.log) || [])
      console.log(`  ${line}`);
  }
} finally {
  await browser.close();
}

// A browser without WebGL: the page says what it needs.
{
  const bare = new Browser(['--disable-3d-apis']);
  try {
    const state = await run(bare, `${url}?autostart=1`, 60000);
    const ok = state && state.state === 'failed' && /needs WebGL 2/.test(state.error || '');
    console.log(`${ok ? 'ok  ' : 'FAIL'}  no WebGL: the page says ${JSON.stringify(state && state.error)}`);
    if (!ok)
      ++failures;
  } finally {
    await bare.close();
  }
}
process.exit(failures ? 1 : 0);
