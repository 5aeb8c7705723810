// The page around qor-player.wasm: checks for WebGL 2, downloads the show's files (listed in
// show/files.json, or NAME/files.json for ?show=NAME) with a progress bar into the player's in-memory file system, waits for a
// click or a key (browsers start sound only after one), then runs the player with the options
// of the address:
//   ?fps=N      fixed-step clock, no sound (as qor-player --fps)
//   ?seek=S     start S seconds into the show
//   ?range=F:L  only frames F to L of a run from the start
//   ?frames=N   end after N frames
//   ?stats=1    per-screen frame times at the end (in window.qorPage.log)
//   ?capture=1  keep the picture of every frame drawn (window.qorPage.pictures, PNG, base64)
//   ?show=NAME  the show in the site's folder NAME/ (default show/), listed in NAME/files.json
//   ?autostart=1  start without waiting for a click
// window.qorPage tells a test (or a curious reader) where the page stands.
'use strict';
(function () {
  const params = new URLSearchParams(location.search);
  const overlay = document.getElementById('overlay');
  const bar = document.getElementById('bar');
  const fill = document.getElementById('fill');
  const message = document.getElementById('message');
  const canvas = document.getElementById('canvas');
  const page = (window.qorPage = {
    state: 'loading', // loading (and waiting for a click), playing, ended, failed
    error: null,
    log: [],
    errors: [],
    pictures: [],
    bytes: 0,
    openMs: null, // page open to: files loaded, player started, first show frame
    loadedMs: null,
    startMs: null,
    firstFrameMs: null,
    exitStatus: null,
  });

  function say(text) {
    message.textContent = text;
  }
  function fail(text) {
    if (page.state === 'failed')
      return;
    page.state = 'failed';
    page.error = text;
    bar.style.display = 'none';
    message.className = 'error';
    say(text);
    overlay.classList.remove('hidden');
  }

  // The player's command line from the address.
  const args = ['--dir', '/show', '--no-dialogs', '--window'];
  for (const [key, option] of [['fps', '--fps'], ['seek', '--seek'], ['range', '--range'], ['frames', '--frames']])
    if (params.has(key))
      args.push(option, params.get(key));
  if (params.get('stats') === '1')
    args.push('--stats');
  const capture = params.get('capture') === '1';
  // ?show=NAME plays the show in the folder NAME/ of the site (default show/).
  const folder = /^[A-Za-z0-9_-]+$/.test(params.get('show') || '') ? params.get('show') : 'show';
  if (capture)
    args.push('--capture', '/out/f_%05d.png', '--quiet');

  const probe = document.createElement('canvas');
  if (!probe.getContext('webgl2')) {
    fail('This show needs WebGL 2, which this browser does not offer (or has turned off).\n' +
      'A current Firefox, Chrome, Edge or Safari with hardware acceleration on has it.');
    return;
  }

  let files = null;
  let runtimeReady = false;
  let wanted = params.get('autostart') === '1';

  async function download() {
    const list = await fetch(`${folder}/files.json`);
    if (!list.ok)
      throw new Error(`${folder}/files.json could not be loaded (${list.status} ${list.statusText})`);
    const entries = await list.json();
    const total = entries.reduce((n, e) => n + e.size, 0) || 1;
    let done = 0;
    const out = [];
    for (const entry of entries) {
      const res = await fetch(`${folder}/` + entry.name.split('/').map(encodeURIComponent).join('/'));
      if (!res.ok)
        throw new Error(`The show's file ${entry.name} could not be loaded (${res.status} ${res.statusText}).`);
      const reader = res.body.getReader();
      const chunks = [];
      let size = 0;
      for (;;) {
        const { done: end, value } = await reader.read();
        if (end)
          break;
        chunks.push(value);
        size += value.length;
        done += value.length;
        fill.style.width = `${Math.min(100, (100 * done) / total)}%`;
      }
      const data = new Uint8Array(size);
      let at = 0;
      for (const c of chunks) {
        data.set(c, at);
        at += c.length;
      }
      out.push({ name: entry.name, data });
    }
    page.bytes = done;
    return out;
  }

  function start() {
    if (page.state !== 'loading' || !files || !runtimeReady || !wanted)
      return;
    const FS = Module.FS;
    for (const f of files) {
      const path = '/show/' + f.name;
      FS.mkdirTree(path.substring(0, path.lastIndexOf('/')));
      FS.writeFile(path, f.data);
    }
    files = null;
    FS.mkdirTree('/out');
    page.state = 'playing';
    page.startMs = performance.now();
    // The show is built in one go in the player's first animation frame, so its loading frame
    // would never reach the screen: the page says it instead, until the first show frame.
    say('Building the show…');
    canvas.focus();
    Module.callMain(args);
  }

  function want() {
    if (page.state === 'ended') {
      location.reload();
      return;
    }
    wanted = true;
    if (page.state === 'loading' && !files)
      say('Loading… the show starts when its files are here.');
    start();
  }
  overlay.addEventListener('click', want);
  window.addEventListener('keydown', (e) => {
    if (e.key === 'f' || e.key === 'F') {
      if (document.fullscreenElement)
        document.exitFullscreen();
      else
        document.documentElement.requestFullscreen().catch(() => {});
      e.preventDefault();
      return;
    }
    if (page.state === 'loading' || page.state === 'ended')
      want();
  }, true);

  window.Module = {
    canvas,
    noInitialRun: true,
    print: (line) => {
      page.log.push(line);
      console.log(line);
    },
    printErr: (line) => {
      page.errors.push(line);
      console.warn(line);
    },
    onRuntimeInitialized: () => {
      runtimeReady = true;
      start();
    },
    onAbort: (what) => fail(`The player stopped: ${what}`),
    // Called by the player.
    qorFirstFrame: () => {
      page.firstFrameMs = performance.now();
      overlay.classList.add('hidden');
    },
    qorShowEnd: (status) => {
      page.exitStatus = status;
      if (capture) {
        const FS = Module.FS;
        for (const name of FS.readdir('/out').filter((n) => n.endsWith('.png')).sort()) {
          const bytes = FS.readFile('/out/' + name);
          let text = '';
          for (let i = 0; i < bytes.length; i += 0x8000)
            text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
          page.pictures.push({ name, png: btoa(text) });
          FS.unlink('/out/' + name);
        }
      }
      if (status !== 0) {
        fail('The show could not be played:\n' + (page.errors.slice(-6).join('\n') || `exit status ${status}`));
        return;
      }
      page.state = 'ended';
      bar.style.display = 'none';
      say('The end. Click to play it again.');
      overlay.classList.remove('hidden');
    },
  };

  download().then((loaded) => {
    files = loaded;
    page.loadedMs = performance.now();
    if (page.state !== 'loading')
      return;
    say(wanted ? 'Starting…' : 'Click to start (with sound).');
    start();
  }, (e) => fail(e.message));

  const script = document.createElement('script');
  script.src = 'qor-player.js';
  script.onerror = () => fail('The player (qor-player.js) could not be loaded.');
  document.body.appendChild(script);
  page.openMs = 0;
})();
