// The page around the player: reads the options from the URL, downloads the
// archive and the soundtrack with a progress bar, decodes the soundtrack,
// waits for the viewer (browsers start sound only after a click or a key),
// then runs the player's main on the canvas. Errors are shown on the page.
//
// URL options, as the native command line's: ?debug=START,END,OFFSET,
// &silent, &window (no effect here: the page is a window; full screen is
// the start screen's choice). For tests: &autostart skips the start
// screen; &shot=T[&fps=N] draws the first frame at demo time T on a
// virtual clock and stops; &bench records frame times (brassTide.bench).
'use strict';

(function () {
  var ARCHIVE = 'brass_tide.zar', SOUNDTRACK = 'brass_tide.mp3';
  var FILE_NOT_FOUND = 9, FILE_FORMAT = 10;      // the sound layer's error codes
  var INFORMATIONAL = /^$|^BT_x: (debug mode\.|windowed mode\.|silent mode\.|start: |end of )|^\d+ ent: |^[+-]\d/;
  var body = document.body;
  var $ = function (id) { return document.getElementById(id); };
  var params = new URLSearchParams(location.search);
  var args = [];
  var lines = [];
  var page = window.brassTide = { state: 'loading', trace: '', error: '', ended: null, shot: null };

  function setState(s) { page.state = s; body.dataset.state = s; }
  function showError(text) {
    page.error = text;
    $('error').textContent = text;
    $('error').hidden = false;
    $('start').hidden = $('hint').hidden = true;
    $('progress').hidden = true;
    $('status').textContent = '';
    setState('error');
  }
  function note(text) { $('note').textContent = text; $('note').hidden = false; }

  // --- options ---
  // In the URL's order, as on a command line: the trace lines follow it.
  var bad = false;
  params.forEach(function (value, key) {
    if (key === 'debug') {
      var v = value.split(',');
      if (v.length !== 3) bad = true;
      else args.push('-debug', v[0], v[1], v[2]);
    } else if (key === 'silent') {
      args.push('-silent');
    } else if (key === 'window') {
      args.push('-window');
    }
  });
  if (bad) {
    showError('?debug needs three values: START,END,OFFSET');
    return;
  }
  if (params.has('shot')) args.push('-shot', params.get('shot'), '-fps', params.get('fps') || '25');
  if (params.has('bench')) args.push('-bench');
  var silent = params.has('silent') || params.has('shot');
  if (params.has('shot') && !params.has('silent')) args.push('-silent');
  var tracePanel = $('trace');
  if (params.has('debug')) tracePanel.hidden = false;

  // --- scaling: the 640x480 picture as large as the page allows, aspect kept ---
  var canvas = $('canvas');
  function fit() {
    var s = Math.min(window.innerWidth / 640, window.innerHeight / 480);
    canvas.style.width = Math.floor(640 * s) + 'px';
    canvas.style.height = Math.floor(480 * s) + 'px';
  }
  window.addEventListener('resize', fit);
  document.addEventListener('fullscreenchange', fit);
  fit();
  var smooth = $('smooth');
  smooth.checked = localStorage.getItem('brassTideSmooth') === '1';
  function applySmooth() { body.classList.toggle('smooth', smooth.checked); }
  smooth.addEventListener('change', function () {
    localStorage.setItem('brassTideSmooth', smooth.checked ? '1' : '0');
    applySmooth();
  });
  applySmooth();

  // --- WebGL 2, asked for once before anything is downloaded ---
  if (!document.createElement('canvas').getContext('webgl2')) {
    showError('This browser gives no WebGL 2: the demo cannot draw here.');
    return;
  }

  // Anything thrown out of the player's frames ends the run with its words.
  // An exit from inside a frame (a load failure in an init) comes out as
  // the runtime's ExitStatus, thrown out of the animation frame.
  window.addEventListener('error', function (e) {
    if (page.state !== 'running' && page.state !== 'shot') return;
    if (e.error && e.error.name === 'ExitStatus') {
      e.preventDefault();
      exited(e.error.status);
    } else {
      showError('The demo stopped: ' + e.message);
    }
  });
  function exited(status) {
    if (status !== 0 && page.state !== 'error') {
      // The player's own last words, as the native player prints them; it
      // ends silently on an archive it cannot open or whose kind it does
      // not know, and the trace's lines are no reason.
      var said = lines.length ? lines[lines.length - 1] : '';
      if (INFORMATIONAL.test(said)) said = 'The demo stopped: ' + ARCHIVE + ' could not be read';
      showError(said + ' (exit status ' + status + ')');
    }
  }

  // --- the player's runtime ---
  var audio = { context: null, buffers: {} };
  if (!silent) {
    var AC = window.AudioContext || window.webkitAudioContext;
    if (AC) audio.context = new AC();
  }
  window.Module = {
    canvas: canvas,
    webAudio: audio,
    print: function (line) {
      console.log(line);
      lines.push(line);
      page.trace += line + '\n';
      if (!tracePanel.hidden) {
        tracePanel.textContent += line + '\n';
        tracePanel.scrollTop = tracePanel.scrollHeight;
      }
    },
    printErr: function (line) { console.warn(line); },
    onExit: exited,
    onAbort: function (what) { showError('The demo stopped: ' + what); },
    onNoWebGL2: function () { showError('This browser gives no WebGL 2: the demo cannot draw here.'); },
    // With &bench: per entry, the frame routine's times and the intervals between frames.
    onFrame: function (entry, cost, at) {
      var b = page.bench = page.bench || { cost: {}, interval: {}, last: null };
      (b.cost[entry] = b.cost[entry] || []).push(cost);
      if (b.last !== null) (b.interval[entry] = b.interval[entry] || []).push(at - b.last);
      b.last = at;
    },
    onMusicStart: function () { page.musicStartDemoTime = Module._Web_DemoTime(); },
    onShot: function (demoTime, entry) {
      page.shot = { demoTime: demoTime, entry: entry };
      setState('shot');
    },
    onDemoEnd: function (byUser) {
      page.ended = byUser ? 'escape' : 'end';
      if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
      $('status').textContent = byUser ? 'The demo was ended.' : 'The demo has ended.';
      $('progress').hidden = true;
      $('choices').hidden = true;
      $('replay').hidden = false;
      setState('ended');
    },
    onRuntimeInitialized: function () { runtimeReady = true; maybeReady(); },
  };
  // The audio clock against the demo's, for the sound check: seconds of
  // music played, and the demo time the music started at.
  page.audioTime = function () {
    return audio.context && audio.musicStart !== undefined ? audio.context.currentTime - audio.musicStart : null;
  };
  page.demoTime = function () { return runtimeReady ? Module._Web_DemoTime() : null; };

  var runtimeReady = false, dataReady = false, archiveBytes = null;
  var script = document.createElement('script');
  script.src = 'brass_tide.js';
  script.onerror = function () { showError('brass_tide.js could not be loaded.'); };
  document.body.appendChild(script);

  // --- downloads, with one progress bar for both ---
  var sizes = {}, loaded = {};
  function progress() {
    var have = 0, want = 0;
    for (var k in sizes) { have += loaded[k]; want += sizes[k]; }
    $('bar').style.width = (want ? Math.min(100, 100 * have / want) : 0) + '%';
  }
  function download(name) {
    return fetch(name).then(function (response) {
      if (!response.ok) return { status: response.status };
      sizes[name] = Number(response.headers.get('Content-Length')) || 0;
      loaded[name] = 0;
      if (!response.body || !sizes[name])
        return response.arrayBuffer().then(function (b) { loaded[name] = sizes[name] = b.byteLength; progress(); return { bytes: b }; });
      var reader = response.body.getReader(), parts = [];
      function pump() {
        return reader.read().then(function (r) {
          if (r.done) {
            var all = new Uint8Array(loaded[name]), at = 0;
            parts.forEach(function (p) { all.set(p, at); at += p.length; });
            return { bytes: all.buffer };
          }
          parts.push(r.value);
          loaded[name] += r.value.length;
          progress();
          return pump();
        });
      }
      return pump();
    }, function () { return { status: 0 }; });
  }

  var archive = download(ARCHIVE).then(function (r) {
    if (!r.bytes) {
      throw new Error('Cannot open ' + ARCHIVE + ': ' + (r.status ? 'the server answered ' + r.status : 'no answer from the server') +
                      '. It must lie beside the page.');
    }
    archiveBytes = new Uint8Array(r.bytes);
  });
  var music = silent ? Promise.resolve() : download(SOUNDTRACK).then(function (r) {
    if (!r.bytes) {
      audio.buffers[SOUNDTRACK] = FILE_NOT_FOUND;
      note(SOUNDTRACK + ': File not found. The demo plays without music.');
      return;
    }
    if (!audio.context) return;
    $('status').textContent = 'Decoding the soundtrack…';
    return audio.context.decodeAudioData(r.bytes).then(function (buffer) {
      audio.buffers[SOUNDTRACK] = buffer;
    }, function () {
      audio.buffers[SOUNDTRACK] = FILE_FORMAT;
      note(SOUNDTRACK + ': Unknown file format. The demo plays without music.');
    });
  });
  Promise.all([archive, music]).then(function () {
    dataReady = true;
    maybeReady();
  }, function (e) { showError(e.message); });

  // --- start screen ---
  function maybeReady() {
    if (!runtimeReady || !dataReady || page.state !== 'loading') return;
    Module.FS.writeFile(ARCHIVE, archiveBytes);
    archiveBytes = null;
    page.readyAt = performance.now();
    if (params.has('autostart') || params.has('shot')) {
      start();
      return;
    }
    setState('ready');
    $('status').textContent = 'Ready.';
    $('start').hidden = false;
    $('hint').hidden = false;
    $('start').focus();
  }
  function start() {
    if (page.state !== 'ready' && page.state !== 'loading') return;
    if ($('fullscreen').checked && document.documentElement.requestFullscreen)
      document.documentElement.requestFullscreen().catch(function () {});
    if (audio.context && audio.context.state === 'suspended') audio.context.resume();
    setState('running');
    canvas.focus();
    Module.callMain(args);
  }
  $('start').addEventListener('click', start);
  $('stage').addEventListener('click', function () { if (page.state === 'ready') start(); });
  document.addEventListener('keydown', function (e) {
    if (page.state === 'ready' && e.key !== 'Tab' && e.key !== 'Escape' && e.target.tagName !== 'INPUT') {
      e.preventDefault();
      start();
    } else if (page.state === 'running' && e.key === 'Escape') {
      Module._Web_RequestQuit();
    }
  });
  $('replay').addEventListener('click', function () { location.reload(); });
})();
