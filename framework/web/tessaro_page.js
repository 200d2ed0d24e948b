// The page around the player: loads the module and the archive with a
// progress bar, shows the display-mode dialog as a form, starts the show on
// its answer, shows the framework's boxes in the page, and offers to play
// again when a show ends. A show file the person chooses or drops on the page
// is written into the module's file system and played instead of the
// archive's show. `TessaroPage` is what the module calls back
// (framework/lumora_web.cpp, app/main_web.cpp); `tessaroState` is what the
// page has seen, for whoever drives it (the tests).
//
// Address options: ?clock=capture runs the show on the capture's 40 ms clock
// with its music mixed on that clock; &stop=F,G,... keeps the pictures of
// those engine frames (tessaroState.results) and ends the show after the
// last of them; &debug=1 turns the
// debugger channel on (the console).
'use strict';

(function () {
  const params = new URLSearchParams(window.location.search);
  const kCaptureStepMs = 40;
  const fixedStepMs = params.get('clock') === 'capture' ? kCaptureStepMs : 0;
  // Frames to keep, and the last of them, after which the show ends.
  const keepFrames = (params.get('stop') || '').split(',').filter((f) => f !== '').map((f) => parseInt(f, 10))
    .filter((f) => f >= 0);
  const stopFrame = keepFrames.length > 0 ? Math.max(...keepFrames) : -1;
  const kCredits = 'Engine, code and art\nby the Orvane Team';
  const kNote = 'Please help us testing our 3d Engine.\nMail us about bugs, frame rate, and your suggestions.\n' +
    'orvane@example.org';

  const $ = (id) => document.getElementById(id);
  const state = {
    phase: 'loading', // loading, form, playing, ended
    frame: -1, // the engine frame on the canvas
    passes: 0, // frames drawn
    musicFrames: 0,
    results: {},
    box: null,
    ended: null,
    formAt: 0,
    clickAt: 0,
    firstFrameAt: 0,
    loadedBytes: 0,
    show: null, // the show file given to the page: {name, path, bytes}
  };
  window.tessaroState = state;

  // ---- loading -------------------------------------------------------------

  const loads = {};
  function showProgress() {
    let done = 0;
    let total = 0;
    for (const name in loads) {
      done += loads[name].done;
      total += loads[name].total;
    }
    state.loadedBytes = done;
    const mb = (n) => (n / 1048576).toFixed(1) + ' MB';
    $('loading-text').textContent = total > 0 ? 'Loading… ' + mb(done) + ' of ' + mb(total) : 'Loading… ' + mb(done);
    $('loading-bar').value = total > 0 ? done / total : 0;
  }

  // The file's bytes, counted into the progress bar as they arrive; null when
  // the server does not have it.
  async function fetchCounted(url) {
    loads[url] = {done: 0, total: 0};
    let response;
    try {
      response = await fetch(url);
    } catch (e) {
      return null;
    }
    if (!response.ok) {
      return null;
    }
    const total = parseInt(response.headers.get('Content-Length') || '0', 10);
    loads[url].total = total;
    const reader = response.body.getReader();
    const parts = [];
    let received = 0;
    for (;;) {
      const {done, value} = await reader.read();
      if (done) {
        break;
      }
      parts.push(value);
      received += value.length;
      loads[url].done = received;
      loads[url].total = Math.max(total, received);
      showProgress();
    }
    const bytes = new Uint8Array(received);
    let at = 0;
    for (const part of parts) {
      bytes.set(part, at);
      at += part.length;
    }
    return bytes;
  }

  function loadScript(url) {
    const script = document.createElement('script');
    script.src = url;
    script.onerror = () => showBox('Velta error', 'The player could not be loaded (' + url + ').');
    document.body.appendChild(script);
  }

  async function load() {
    const [wasm, pak] = await Promise.all([fetchCounted('tessaro.wasm'), fetchCounted('pako.qdz')]);
    if (wasm === null) {
      showBox('Velta error', 'The player could not be loaded (tessaro.wasm).');
      return;
    }
    window.Module = {
      canvas: $('canvas'),
      wasmBinary: wasm,
      print: (text) => console.log(text),
      printErr: (text) => console.error(text),
      preRun: [function () {
        if (params.get('debug') === '1') {
          Module.ENV.TESSARO_DEBUG = '1';
        }
        // Without the archive the player starts and says so itself.
        if (pak !== null) {
          Module.FS.writeFile('/pako.qdz', pak);
        }
      }],
    };
    loadScript('tessaro.js');
  }

  // ---- the dialog ----------------------------------------------------------

  // The logo band: the same picture as the desktop dialog's.
  function drawLogo() {
    const canvas = $('logo');
    const g = canvas.getContext('2d');
    const w = canvas.width;
    const h = canvas.height;
    const band = g.createLinearGradient(0, 0, w, h);
    band.addColorStop(0, 'rgb(13, 26, 77)');
    band.addColorStop(1, 'rgb(51, 140, 230)');
    g.fillStyle = band;
    g.fillRect(0, 0, w, h);
    g.fillStyle = 'rgba(255, 255, 255, 0.25)';
    for (let x = 6; x < w; x += 14) {
      g.save();
      g.translate(x, h - 8);
      g.rotate(Math.PI / 4);
      g.fillRect(-3, -3, 6, 6);
      g.restore();
    }
    g.fillStyle = '#fff';
    g.font = 'bold ' + Math.round(h * 0.42) + 'px sans-serif';
    g.fillText('VELTA ENGINE', w * 0.06, h * 0.55);
    g.fillStyle = 'rgb(217, 235, 255)';
    g.font = 'italic ' + Math.round(h * 0.18) + 'px sans-serif';
    g.fillText('beta 0.1', w * 0.62, h * 0.78);
  }

  function fillDialog() {
    const select = $('mode');
    select.textContent = '';
    for (let i = 0; ; ++i) {
      const text = Module._lumora_mode_text(i);
      if (text === 0) {
        break;
      }
      const option = document.createElement('option');
      option.textContent = Module.UTF8ToString(text);
      select.appendChild(option);
    }
    $('credits').textContent = kCredits;
    $('note').textContent = kNote;
    drawLogo();
  }

  function showDialog() {
    $('mode').selectedIndex = Module._lumora_default_mode();
    $('fullscreen').checked = true;
    $('play-sounds').checked = false;
    $('ended').hidden = true;
    $('dialog').hidden = false;
    $('show-panel').hidden = false;
    state.phase = 'form';
    $('enter').focus();
  }

  // The answer goes to the framework and the show starts, inside the click or
  // key press that gave it.
  function answer(confirmed) {
    const index = $('mode').selectedIndex;
    Module._lumora_answer_dialog(confirmed ? 1 : 0, index, $('fullscreen').checked ? 1 : 0,
      $('play-sounds').checked ? 1 : 0);
    $('dialog').hidden = true;
    $('show-panel').hidden = true;
    $('box').hidden = true;
    state.phase = 'playing';
    state.frame = -1;
    state.passes = 0;
    state.results = {};
    state.ended = null;
    state.clickAt = performance.now();
    state.firstFrameAt = 0;
    Module.ccall('tessaro_play', 'number', ['number', 'string'], [fixedStepMs, state.show ? state.show.path : null]);
  }

  $('dialog-form').addEventListener('submit', (event) => {
    event.preventDefault();
    answer(true);
  });
  document.addEventListener('keydown', (event) => {
    if (state.phase === 'form' && event.key === 'Escape') {
      event.preventDefault();
      answer(false);
    }
  });
  $('play-again').addEventListener('click', showDialog);
  $('box-ok').addEventListener('click', () => { $('box').hidden = true; });

  // ---- a show file of the person's own ---------------------------------------

  // The player's own limit; one byte past it is enough for the player to say
  // that the file is too large, so no more is read into the page.
  const kShowFileMaxBytes = 1 << 20;
  const kShowFolder = '/shows';

  // A file name safe in the module's file system: letters, digits, '.', '_'
  // and '-', no leading dot, at most 64 characters.
  function showFileName(name) {
    const cleaned = (name || '').replace(/[^A-Za-z0-9._-]/g, '_').replace(/^\.+/, '').slice(0, 64);
    return cleaned !== '' ? cleaned : 'show.toml';
  }

  function forgetShowFile() {
    if (state.show !== null) {
      try {
        Module.FS.unlink(state.show.path);
      } catch (e) {
        // Already gone: nothing to forget.
      }
    }
    state.show = null;
    $('show-name').textContent = "the archive's own";
    $('show-clear').hidden = true;
  }

  async function takeShowFile(file) {
    // The module's file system exists from the form on; during a show the
    // next one is not chosen behind the person's back.
    if (!file || (state.phase !== 'form' && state.phase !== 'ended')) {
      return;
    }
    const name = showFileName(file.name);
    let bytes;
    try {
      bytes = new Uint8Array(await file.slice(0, kShowFileMaxBytes + 1).arrayBuffer());
    } catch (e) {
      showBox('Velta error', name + ': cannot be read');
      return;
    }
    forgetShowFile();
    if (!Module.FS.analyzePath(kShowFolder).exists) {
      Module.FS.mkdir(kShowFolder);
    }
    const path = kShowFolder + '/' + name;
    Module.FS.writeFile(path, bytes);
    state.show = {name: name, path: path, bytes: bytes.length};
    $('show-name').textContent = name;
    $('show-clear').hidden = false;
    $('box').hidden = true;
    if (state.phase === 'ended') {
      showDialog();
    }
  }

  $('show-file').addEventListener('change', () => {
    const input = $('show-file');
    takeShowFile(input.files[0]);
    // The same file chosen again (after an edit) is read again.
    input.value = '';
  });
  $('show-clear').addEventListener('click', forgetShowFile);
  // Anything dropped on the page is taken as a show file, never opened by
  // the browser in place of the page.
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', (event) => {
    if (event.relatedTarget === null) {
      document.body.classList.remove('dragging');
    }
  });
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    const files = event.dataTransfer ? event.dataTransfer.files : null;
    if (files && files.length > 0) {
      takeShowFile(files[0]);
    }
  });

  function showBox(caption, text) {
    state.box = {caption: caption, text: text};
    $('box-caption').textContent = caption;
    $('box-text').textContent = text;
    $('box').hidden = false;
    $('loading').hidden = true;
  }

  // ---- what the module calls -----------------------------------------------

  window.TessaroPage = {
    moduleReady() {
      fillDialog();
      $('loading').hidden = true;
      state.formAt = performance.now();
      showDialog();
    },
    // A new canvas for each show (the old one takes its context with it).
    showStage(width, height) {
      const old = $('canvas');
      const canvas = document.createElement('canvas');
      canvas.id = 'canvas';
      canvas.tabIndex = -1;
      canvas.width = width;
      canvas.height = height;
      old.replaceWith(canvas);
      Module.canvas = canvas;
      canvas.style.width = width + 'px';
      canvas.style.height = height + 'px';
      $('stage').hidden = false;
      canvas.focus();
    },
    hideStage() {
      $('stage').hidden = true;
    },
    enterFullscreen() {
      const canvas = $('canvas');
      if (!canvas.requestFullscreen) {
        return false;
      }
      canvas.requestFullscreen().catch((e) => console.warn('Full screen was refused: ' + e.message));
      return true;
    },
    leaveFullscreen() {
      if (document.fullscreenElement) {
        document.exitFullscreen().catch(() => {});
      }
    },
    showBox: showBox,
    // After each pass: true ends the show (the frame asked for is kept).
    frameShown(passes, frame, musicFrames, sumSquares) {
      const drawn = passes !== state.passes || frame !== state.frame;
      state.passes = passes;
      if (state.firstFrameAt === 0) {
        state.firstFrameAt = performance.now();
      }
      state.frame = frame;
      state.musicFrames = musicFrames;
      if (drawn && keepFrames.includes(frame)) {
        // Read in the pass that drew it, before the browser shows and clears it.
        state.results[frame] = {
          png: $('canvas').toDataURL('image/png'),
          musicFrames: musicFrames,
          rms: musicFrames > 0 ? Math.sqrt(sumSquares / (musicFrames * 2)) / 32768 : 0,
        };
      }
      return stopFrame >= 0 && frame >= stopFrame;
    },
    showEnded(started) {
      state.phase = 'ended';
      state.ended = {started: started !== 0, frame: state.frame};
      $('ended-text').textContent = started ? 'The show has ended.' : 'The show was not started.';
      $('ended').hidden = false;
      // A show file mended after its mistake can be given again from here.
      $('show-panel').hidden = false;
      $('play-again').focus();
    },
  };

  load();
})();
