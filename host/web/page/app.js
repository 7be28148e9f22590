'use strict';
// The page's state and controls. The configuration `cfg` says what to build:
// a preset (an example INI file) or a dropped file, the membrane options typed
// over it, the [Setup] texts typed for A and for B, and whether B runs beside
// A. Every change of it goes through change(): it is kept for undo, written
// into the address and the membranes are built again from it, the run
// starting at step 0. Each frame steps the running membranes, hands their
// surfaces to the view and one sample to the plot.
(() => {
  const $ = (id) => document.getElementById(id);
  const SIDES = ['A', 'B'];
  // the [Setup] keys with a slider: their sensible ranges (docs/settings.md)
  const SLIDERS = [
    { key: 'ClothP', min: 0, max: 2, step: 0.01, title: 'pressure' },
    { key: 'ClothC', min: 0, max: 20, step: 0.1, title: 'velocity damping' },
    { key: 'ClothK0', min: 0.05, max: 50, log: true, title: 'stiffness of a stretched spring' },
    { key: 'ClothK1', min: 0.05, max: 50, log: true, title: 'stiffness of a compressed spring' },
  ];
  const METHODS = [['0', '0 semi-implicit Euler'], ['1', '1 Heun'], ['2', '2 Runge–Kutta 4']];
  // the fields of each shape; steps, the run's length, goes into the saved INI file
  const SIZES = new Map([
    ['sphere', ['columns', 'rows', 'radius', 'flatten', 'steps']],
    ['torus', ['columns', 'rows', 'majorRadius', 'minorRadius', 'flatten', 'steps']],
    ['sheet', ['columns', 'rows', 'width', 'depth', 'steps']],
    ['tube', ['columns', 'rows', 'radius', 'length', 'steps']],
    ['mesh', ['steps']],
  ]);
  // what the text field of a pinning takes, by the option it fills
  const PIN_HINTS = new Map([
    ['pinRing', 'a grid row; -1: the top ring'],
    ['pinPoints', 'point indices: 0,12,40'],
    ['pinGroup', 'a group of the mesh file'],
  ]);
  // unknown names of a link the status line lists before it counts the rest
  const NAMED_UNKNOWNS = 5;
  const OPTION_KEYS = ['shape', 'columns', 'rows', 'radius', 'flatten', 'majorRadius', 'minorRadius', 'width', 'depth',
    'length', 'pin', 'pinRing', 'pinPoints', 'pinGroup', 'pinBelow', 'winding', 'flip', 'defect', 'mesh', 'steps'];

  let M, view, plot;
  // `built`: the side has a membrane; `error`: why the scene asked for last did not build
  const sides = SIDES.map((name) => ({ name, scene: null, built: false, error: '', setErrors: {}, diverged: '' }));
  let cfg = SceneUrl.empty();
  let base = null; // the configuration before a change still under way (a slider being dragged)
  const undoStack = [], redoStack = [];
  let rebuildWanted = false, drawWanted = true, playing = true, stepsPerFrame = 5, editing = 'A';
  let membrane = {}; // A's [Membrane] section as the module saves it
  let shape = ''; // A's shape; while A does not build, as far as it reads
  let zRange = [0, 1];
  const presets = new Map(); // name -> path in the module's file system
  let pinChoices = new Map(); // shape -> Map(pinning -> the option it reads)
  let probe = null; // a scene for reading what a scene that does not build would be
  let writtenHash = '';
  let builtFile = null; // the dropped files of A's membrane
  let note = ''; // said by the next build in place of 'built'
  let lastSample = -Infinity; // when the plot took its last sample
  // the rates, and the milliseconds per frame spent in the module's step, in
  // handing the surface to WebGL, in the figures for the plot and in the draw calls
  const stats = { stepsPerSecond: 0, framesPerSecond: 0, pluginStepsPerSecond: 0, perFrame: {} };
  const TIMES = ['stepTime', 'uploadTime', 'figuresTime', 'drawTime', 'plotTime'];
  const meter = { since: 0, frames: 0, steps: 0 };
  const restartMeter = (now) => {
    Object.assign(meter, { since: now, frames: 0, steps: 0 });
    for (const t of TIMES) meter[t] = 0;
  };
  restartMeter(0);

  let resolveReady, rejectReady;
  const ready = new Promise((resolve, reject) => ((resolveReady = resolve), (rejectReady = reject)));
  window.tumelin = {
    ready,
    stats,
    scene: () => sides[0].scene,
    sceneB: () => (cfg.ab ? sides[1].scene : null),
    stepNow,
    play: () => setPlaying(true),
    pause: () => setPlaying(false),
    config: () => JSON.parse(JSON.stringify(cfg)),
  };

  const clone = (c) => JSON.parse(JSON.stringify(c));
  const side = () => (editing === 'B' && cfg.ab ? 1 : 0);

  function status(text, error) {
    $('status').textContent = text;
    $('status').title = text;
    $('status').classList.toggle('error', !!error);
  }

  // a list of names, the first few of a long one and how many more
  function nameSome(names) {
    const more = names.length - NAMED_UNKNOWNS;
    return names.slice(0, NAMED_UNKNOWNS).join(', ') + (more > 0 ? ` and ${more} more` : '');
  }

  // what a link could not restore, before what the build said
  function sayLacks(lacks) {
    if (lacks) status(`${lacks}. ${$('status').textContent}`, true);
  }

  function defaultConfig() {
    return { ...SceneUrl.empty(), preset: presets.has('pillow') ? 'pillow' : [...presets.keys()][0] };
  }

  // ---- building

  function iniPath(c) {
    if (c.file && c.file.ini) return c.file.ini;
    return presets.get(c.preset) || '';
  }

  function buildSide(i) {
    const s = sides[i];
    const scene = s.scene;
    scene.clear();
    for (const [key, text] of Object.entries(cfg.opt)) scene.choose(key, text);
    s.setErrors = {};
    for (const [key, text] of Object.entries(cfg.set[s.name])) {
      const error = scene.set(`${key}=${text}`);
      if (error) s.setErrors[key] = error;
    }
    const error = scene.build(iniPath(cfg));
    if (error) return error;
    s.built = true;
    if (i === 0) builtFile = cfg.file;
    s.diverged = '';
    view.setMesh(i, scene);
    return '';
  }

  function rebuild() {
    rebuildWanted = false;
    const errors = [];
    const count = cfg.ab ? 2 : 1;
    for (let i = 0; i < count; i++) {
      sides[i].error = buildSide(i);
      if (sides[i].error) errors.push((cfg.ab ? `${SIDES[i]}: ` : '') + sides[i].error);
    }
    view.sides = count;
    describeA();
    const kept = sides.slice(0, count).some((s) => s.error && s.built);
    if (errors.length) {
      status(`not built — ${errors.join('; ')}` +
        (kept ? ' (the membrane before stays)' : ' (nothing runs until the scene builds)'), true);
    } else status(note || `built: ${sides[0].scene.scenario().name}; the run started at step 0`);
    note = '';
    $('diverged').hidden = true;
    meter.since = 0;
    writeHash();
    refreshControls();
    listWarnings();
    if (!$('check-text').hidden) $('check-text').textContent = checkText();
    drawWanted = true;
  }

  // A's shape and [Membrane] values for the controls: of its membrane, or,
  // when it does not build, of the scene as far as it builds (the shape
  // asked for over the file, else the file alone, else no file)
  function describeA() {
    const a = sides[0];
    let scene = a.scene;
    if (a.error) {
      const tries = [[cfg.opt, iniPath(cfg)], [{}, iniPath(cfg)], [{}, '']];
      scene = null;
      for (const [opt, ini] of tries) {
        probe.clear();
        for (const key of ['shape', 'mesh']) if (opt[key]) probe.choose(key, opt[key]);
        if (probe.build(ini) === '') {
          scene = probe;
          break;
        }
      }
    }
    if (!scene) return;
    membrane = parseMembrane(scene.sceneIni());
    shape = scene.scenario().shape;
    if (a.error) return;
    const p = scene.positions();
    let lo = Infinity, hi = -Infinity;
    for (let k = 2; k < p.length; k += 3) (lo = Math.min(lo, p[k])), (hi = Math.max(hi, p[k]));
    zRange = lo <= hi ? [lo, hi] : [0, 1];
    plot.reset(scene.figures().figureWord);
  }

  // why side `s` has nothing of the scene asked for, or ''
  function unbuilt(s) {
    if (s.error) return `this scene does not build: ${s.error}`;
    return s.built ? '' : 'nothing is built';
  }

  function checkText() {
    const why = unbuilt(sides[0]);
    return why ? `${why}; there is no membrane to check` : sides[0].scene.checkText();
  }

  function flushRebuild() {
    if (rebuildWanted) rebuild();
  }

  // [Membrane] of a saved INI text as option keys: Columns -> columns
  function parseMembrane(text) {
    const out = Object.create(null);
    let inside = false;
    for (const line of text.split(/\r?\n/)) {
      const section = /^\s*\[(.*)\]\s*$/.exec(line);
      if (section) inside = section[1].trim().toLowerCase() === 'membrane';
      const pair = /^\s*(\w+)\s*=\s*(.*?)\s*$/.exec(line);
      if (inside && pair) out[pair[1][0].toLowerCase() + pair[1].slice(1)] = pair[2];
    }
    return out;
  }

  // ---- changes, undo and the address

  // `mutate` edits cfg; `final` false while a slider is still moving: the
  // membrane follows but the undo step is taken when it is let go
  function change(mutate, final = true) {
    if (!base) base = clone(cfg);
    mutate(cfg);
    rebuildWanted = true;
    if (final) {
      if (JSON.stringify(base) !== JSON.stringify(cfg)) {
        undoStack.push(base);
        redoStack.length = 0;
      }
      base = null;
    }
    refreshHistory();
  }

  function travel(from, to) {
    if (from.length === 0) return;
    to.push(clone(cfg));
    cfg = from.pop();
    base = null;
    if (!cfg.ab) editing = 'A';
    rebuild();
    refreshHistory();
  }

  function refreshHistory() {
    $('undo').disabled = undoStack.length === 0;
    $('redo').disabled = redoStack.length === 0;
  }

  function writeHash() {
    writtenHash = SceneUrl.encode(cfg);
    try {
      history.replaceState(null, '', '#' + writtenHash);
    } catch {
      location.hash = writtenHash;
    }
  }

  // the link's configuration, and what of it the page cannot restore
  function readHash() {
    const { cfg: c, unknown, missing } = SceneUrl.decode(location.hash, OPTION_KEYS, M.setupKeys());
    const lacks = [];
    if (c.preset && !presets.has(c.preset)) {
      unknown.push(`preset ${c.preset}`);
      c.preset = '';
    }
    if (unknown.length) lacks.push(`the link names what this page does not know: ${nameSome(unknown)}`);
    // the membrane options were the dropped file's: without it they would
    // make another membrane of the default one
    if (missing.length) {
      lacks.push(`the link's scene ran on the dropped ${nameSome(missing)}, which a link cannot carry: ` +
        'this is the default membrane with the link\'s settings; drop the file to run it');
      c.opt = {};
    }
    return { c, lacks: lacks.join('; ') };
  }

  // ---- controls

  function fmt(value) {
    return String(Number(value.toPrecision(3))).replace('.', sides[0].scene.separator());
  }

  function buildSettingControls() {
    const box = $('settings');
    for (const s of SLIDERS) {
      const row = document.createElement('div');
      row.className = 'setting';
      row.innerHTML = `<span class="key" title="${s.title}">${s.key}</span>
        <input type="range" data-testid="${s.key}-slider" min="${s.log ? Math.log10(s.min) : s.min}" max="${s.log ? Math.log10(s.max) : s.max}" step="${s.log ? 0.01 : s.step}" title="${rangeTitle(s)}">
        <input type="text" data-testid="${s.key}-text" spellcheck="false" title="typed as you like: the plug-in judges the text; empty: the file's value">
        <span class="note"><span data-testid="${s.key}-note"></span><span class="typed"></span></span>`;
      box.append(row);
      const [slider, text] = row.querySelectorAll('input');
      s.row = row;
      slider.addEventListener('input', () => {
        const v = s.log ? 10 ** Number(slider.value) : Number(slider.value);
        text.value = s.log ? fmt(v) : String(Number(v.toFixed(3))).replace('.', sides[0].scene.separator());
        change((c) => (c.set[editing][s.key] = text.value), false);
      });
      slider.addEventListener('change', () => change(() => {}, true));
      text.addEventListener('change', () => change((c) => setText(c, s.key, text.value)));
    }
    const row = document.createElement('div');
    row.className = 'setting';
    row.innerHTML = `<span class="key" title="integrator">ClothMethod</span><select data-testid="ClothMethod"></select>
      <span class="note"><span data-testid="ClothMethod-note"></span><span class="typed"></span></span>`;
    box.append(row);
    const select = row.querySelector('select');
    select.append(new Option('not typed here', ''));
    for (const [value, name] of METHODS) select.append(new Option(name, value));
    select.addEventListener('change', () => change((c) => setText(c, 'ClothMethod', select.value)));
    SLIDERS.push({ key: 'ClothMethod', row, select });
  }

  function rangeTitle(s) {
    return `${s.min} … ${s.max}${s.log ? ' (logarithmic)' : ''}: the sensible range`;
  }

  function setText(c, key, text) {
    if (text === '') delete c.set[editing][key];
    else c.set[editing][key] = text;
  }

  function refreshControls() {
    const here = sides[side()];
    // a side that never built has no verdicts yet: its fields stay as typed
    const lines = here.built ? here.scene.settings() : [];
    const typed = cfg.set[editing];
    const separator = sides[0].scene.separator();
    $('separator').textContent = `decimal separator '${separator}'`;
    $('separator').title = 'The plug-in reads numbers with this separator; a number written with another one keeps the default (the verdict says so).';
    for (const s of SLIDERS) {
      const line = lines.find((l) => l.key === s.key) || { note: '', stored: '', text: '' };
      const error = here.setErrors[s.key];
      const note = s.row.querySelector('[data-testid$="-note"]');
      note.textContent = error || line.note;
      note.parentElement.classList.toggle('rejected', !!error || (line.present && !line.accepted));
      s.row.querySelector('.typed').textContent = line.given ? ' — typed here' : '';
      if (s.select) refreshMethod(s, line, typed[s.key]);
      else refreshSlider(s, line, typed[s.key]);
    }
    refreshScene();
  }

  // untyped, the method is the file's or the plug-in's default; typed, a
  // value the list lacks stands in the first entry
  function refreshMethod(s, line, typed) {
    const listed = typed !== undefined && METHODS.some((m) => m[0] === typed);
    s.select.value = listed ? typed : '';
    const from = typed !== undefined ? `typed: ${typed}` : line.present ? 'as the file says' : 'the default';
    s.select.options[0].text = line.stored === '' ? from : `${from} (${line.stored})`;
  }

  function refreshSlider(s, line, typed) {
    const [slider, text] = s.row.querySelectorAll('input');
    if (document.activeElement !== text) text.value = typed ?? '';
    text.placeholder = line.present ? line.text : line.stored;
    text.classList.toggle('given', typed !== undefined);
    if (document.activeElement === slider || line.stored === '') return;
    const v = Number(line.stored);
    // a value off the slider's range puts the thumb at the nearer end, greyed
    const outside = !(v >= s.min && v <= s.max);
    slider.classList.toggle('outside', outside);
    slider.title = rangeTitle(s) + (outside ? `; ${line.stored} lies outside it` : '');
    const inRange = Math.min(Math.max(v, s.min), s.max);
    slider.value = s.log ? Math.log10(inRange) : inRange;
  }

  function refreshScene() {
    $('shape').value = shape;
    $('flip-row').hidden = shape !== 'mesh';
    $('flip').checked = (cfg.opt.flip ?? membrane.flip) === 'yes';
    $('preset').value = cfg.file ? '' : cfg.preset;
    refreshSizes();
    refreshPins();
    $('save-note').textContent = shape === 'mesh'
      ? 'The saved INI names the mesh by its file name: keep it in the folder of that OBJ file.'
      : '';
    $('file-note').hidden = !cfg.file;
    $('file-note').textContent = cfg.file ? fileNote(cfg.file) : '';
    $('ab').checked = cfg.ab;
    $('edit-which').hidden = !cfg.ab;
    $('label-b').hidden = !cfg.ab;
    for (const r of document.querySelectorAll('input[name=edit]')) r.checked = r.value === editing;
    labels();
  }

  // the size fields of the shape, made again only when the shape's sizes
  // differ, so that a field keeps its focus and its text across rebuilds
  function refreshSizes() {
    const keys = SIZES.get(shape) || [];
    const box = $('sizes');
    if (box.dataset.keys !== keys.join()) {
      box.dataset.keys = keys.join();
      box.textContent = '';
      for (const key of keys) box.append(...sizeField(key));
    }
    for (const input of box.querySelectorAll('input')) {
      const key = input.dataset.key;
      if (document.activeElement !== input) input.value = cfg.opt[key] ?? membrane[key] ?? '';
      input.classList.toggle('given', cfg.opt[key] !== undefined);
    }
  }

  function sizeField(key) {
    const label = document.createElement('label');
    label.textContent = key.replace(/[A-Z]/g, (c) => ' ' + c.toLowerCase());
    const input = document.createElement('input');
    input.type = 'text';
    input.dataset.testid = `size-${key}`;
    input.dataset.key = key;
    if (key === 'steps') input.title = 'the steps a host runs from the saved INI file; this page runs until paused';
    input.addEventListener('change', () =>
      change((c) => (input.value.trim() === '' ? delete c.opt[key] : (c.opt[key] = input.value.trim()))));
    return [label, input];
  }

  // the pinnings that apply to the shape, and the field of the one chosen
  function refreshPins() {
    const choices = pinChoices.get(shape) || new Map();
    const select = $('pin');
    if (select.dataset.names !== [...choices.keys()].join()) {
      select.dataset.names = [...choices.keys()].join();
      select.textContent = '';
      for (const name of choices.keys()) select.append(new Option(name, name));
    }
    const pin = cfg.opt.pin ?? membrane.pin ?? 'none';
    select.value = pin;
    const param = choices.get(pin) || '';
    $('pin-below-row').hidden = param !== 'pinBelow';
    $('pin-text-row').hidden = !PIN_HINTS.has(param);
    const field = $('pin-text');
    field.dataset.key = param;
    field.placeholder = PIN_HINTS.get(param) || '';
    if (document.activeElement !== field) field.value = cfg.opt[param] ?? membrane[param] ?? '';
    $('pin-text-label').textContent = param.replace(/[A-Z]/g, (c) => ' ' + c.toLowerCase());
    const slider = $('pin-below');
    slider.min = zRange[0];
    slider.max = zRange[1];
    const below = Number(cfg.opt.pinBelow ?? membrane.pinBelow);
    if (Number.isFinite(below)) slider.value = below;
    $('pin-below-value').textContent = Number.isFinite(below) ? String(below) : '';
  }

  // which dropped files A's membrane uses: only those of a scene that built
  function fileNote(file) {
    const used = file.names.join(', ');
    const unused = file.unused.length
      ? ` Not used: ${file.unused.join(', ')} (${file.ini ? 'not the mesh the INI file names' : 'one mesh at a time'}).`
      : '';
    if (JSON.stringify(builtFile) !== JSON.stringify(file)) {
      return `The dropped ${used} did not build: ${sides[0].built ? 'the membrane before still runs' : 'nothing runs'}.${unused}`;
    }
    return `Using the dropped ${used}.${unused} A link cannot carry a dropped file: it names the file, and whoever opens it must drop it too.`;
  }

  function labels() {
    for (let i = 0; i < (cfg.ab ? 2 : 1); i++) {
      const s = sides[i];
      $(i === 0 ? 'label-a' : 'label-b').hidden = !s.built || (i === 1 && !cfg.ab);
      if (!s.built) continue;
      const sc = s.scene;
      const f = sc.figures();
      const typed = Object.entries(cfg.set[s.name]).map(([k, v]) => `${k}=${v}`).join(' ');
      const head = cfg.ab ? `${s.name}: ${typed || 'the file\'s values'}` : sc.scenario().name;
      $(i === 0 ? 'label-a' : 'label-b').textContent =
        `${head}\n${sc.pointCount()} points · step ${sc.steps()} · ${f.figureWord} ${f.figure.toPrecision(5)}` +
        (s.diverged ? ' · diverged' : '');
    }
  }

  // each warning once, after the sides that share it: "A and B: ..."
  function listWarnings() {
    const list = $('warnings');
    list.textContent = '';
    const bySides = new Map();
    for (let i = 0; i < (cfg.ab ? 2 : 1); i++) {
      if (!sides[i].built || sides[i].error) continue;
      for (const w of sides[i].scene.warnings()) bySides.set(w, [...(bySides.get(w) || []), SIDES[i]]);
    }
    for (const [w, names] of bySides) {
      const li = document.createElement('li');
      li.textContent = cfg.ab ? `${names.join(' and ')}: ${w}` : w;
      list.append(li);
    }
    if (!list.children.length) {
      const li = document.createElement('li');
      li.className = 'none';
      li.textContent = 'none';
      list.append(li);
    }
  }

  function addWarning(text, className) {
    const list = $('warnings');
    const none = list.querySelector('.none');
    if (none) none.remove();
    const li = document.createElement('li');
    li.className = className;
    li.textContent = text;
    list.append(li);
  }

  // ---- running

  function setPlaying(on) {
    playing = on;
    // standing still, the surface is drawn in full
    drawWanted = true;
    $('play').classList.toggle('on', on);
    $('pause').classList.toggle('on', !on);
  }

  function advance(n) {
    const count = cfg.ab ? 2 : 1;
    let done = 0;
    for (let i = 0; i < count; i++) {
      const s = sides[i];
      if (!s.built || s.diverged) continue;
      const t0 = performance.now();
      const steps = s.scene.step(n);
      const t1 = performance.now();
      if (i === 0) done = steps;
      view.update(i, s.scene);
      meter.stepTime += t1 - t0;
      meter.uploadTime += performance.now() - t1;
      s.diverged = s.scene.diverged();
      if (s.diverged) {
        const text = (cfg.ab ? `${s.name}: ` : '') + s.diverged;
        addWarning(text, 'divergence');
        $('diverged').hidden = false;
        $('diverged').textContent = text;
        status(text, true);
      }
    }
    meter.steps += done;
    if (sides.slice(0, count).every((s) => !s.built || s.diverged)) setPlaying(false);
    // the figures cost a pass over the whole membrane: at most twenty samples a second
    const t2 = performance.now();
    if (t2 - lastSample < 50 && n === stepsPerFrame && playing) return (drawWanted = true);
    lastSample = t2;
    plot.push(sides[0].built ? sides[0].scene.figures() : null, cfg.ab && sides[1].built ? sides[1].scene.figures() : null);
    meter.figuresTime += performance.now() - t2;
    drawWanted = true;
  }

  function stepNow(n) {
    flushRebuild();
    setPlaying(false);
    advance(n);
    view.draw();
    labels();
    return sides[0].built ? sides[0].scene.steps() : 0;
  }

  function meterFrame(now) {
    meter.frames++;
    if (!meter.since) return restartMeter(now);
    const elapsed = now - meter.since;
    if (elapsed < 500 || !sides[0].built) return;
    const a = sides[0].scene;
    stats.framesPerSecond = (meter.frames * 1000) / elapsed;
    stats.stepsPerSecond = (meter.steps * 1000) / elapsed;
    for (const t of TIMES) stats.perFrame[t.replace('Time', '')] = meter[t] / meter.frames;
    stats.pluginStepsPerSecond = a.entrySeconds() > 0 ? a.steps() / a.entrySeconds() : 0;
    restartMeter(now);
    $('stats').textContent =
      `${stats.framesPerSecond.toFixed(0)} frames/s · ${stats.stepsPerSecond.toFixed(0)} steps/s on the page · ` +
      `plug-in entry ${stats.pluginStepsPerSecond.toFixed(0)} steps/s`;
    $('stats').title = 'steps/s on the page: steps done per second of wall time, drawing included; ' +
      'plug-in entry: steps per second of the time spent inside the step entry alone (entrySeconds)';
    labels();
  }

  function frame(now) {
    requestAnimationFrame(frame);
    flushRebuild();
    if (playing && sides[0].built) advance(stepsPerFrame);
    const t0 = performance.now();
    if (drawWanted) {
      view.draw(playing);
      drawWanted = false;
    }
    const t1 = performance.now();
    plot.draw(now, false);
    meter.drawTime += t1 - t0;
    meter.plotTime += performance.now() - t1;
    meterFrame(now);
  }

  // ---- files

  async function takeFiles(files) {
    const list = [...files].filter((f) => /\.(ini|obj)$/i.test(f.name));
    if (list.length === 0) return status('drop an .ini or .obj file', true);
    try {
      M.FS.mkdir('/dropped');
    } catch {}
    for (const f of list) M.FS.writeFile(`/dropped/${f.name}`, new Uint8Array(await f.arrayBuffer()));
    const ini = list.find((f) => /\.ini$/i.test(f.name));
    const objs = list.filter((f) => /\.obj$/i.test(f.name));
    // the mesh an INI file names is the dropped OBJ file of that name, where
    // ever the file's path put it
    const named = ini ? (parseMembrane(iniText(M.FS.readFile(`/dropped/${ini.name}`))).mesh || '').replace(/^"(.*)"$/, '$1') : '';
    const base = named.split(/[\\/]/).pop().toLowerCase();
    const mesh = ini ? objs.find((f) => f.name.toLowerCase() === base) : objs[0];
    const used = [ini, mesh].filter(Boolean).map((f) => f.name);
    const unused = objs.filter((f) => f !== mesh).map((f) => f.name);
    change((c) => {
      c.preset = '';
      c.opt = mesh ? { mesh: `/dropped/${mesh.name}` } : {};
      c.file = { ini: ini ? `/dropped/${ini.name}` : '', names: used, unused };
    });
  }

  // an INI file's text: UTF-16 after its byte order mark, else UTF-8
  function iniText(bytes) {
    const utf16 = bytes[0] === 0xff && bytes[1] === 0xfe ? 'utf-16le' : bytes[0] === 0xfe && bytes[1] === 0xff ? 'utf-16be' : '';
    return new TextDecoder(utf16 || 'utf-8').decode(bytes);
  }

  // `pin` chosen, and what the others pinned forgotten
  function setPin(c, pin) {
    c.opt.pin = pin;
    const keep = pinChoices.get(shape)?.get(pin);
    for (const pins of pinChoices.values()) {
      for (const param of pins.values()) if (param && param !== keep) delete c.opt[param];
    }
  }

  function download(name, text) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 1000);
  }

  // ---- wiring

  function wire() {
    const presetSelect = $('preset');
    presetSelect.append(new Option('(none: the plug-in\'s defaults)', ''));
    for (const name of presets.keys()) presetSelect.append(new Option(name, name));
    presetSelect.addEventListener('change', () =>
      change((c) => {
        c.preset = presetSelect.value;
        c.file = null;
        c.opt = {};
        c.set = { A: {}, B: {} };
      }));
    const shapes = M.shapeNames();
    for (const name of [...shapes, 'mesh']) $('shape').append(new Option(name, name));
    $('shape').querySelector('option[value=mesh]').disabled = true;
    // a shape chosen leaves the mesh, and a pinning the shape has not
    $('shape').addEventListener('change', () =>
      change((c) => {
        c.opt.shape = $('shape').value;
        delete c.opt.mesh;
        if (c.file && !c.file.ini) c.file = null;
        if (!pinChoices.get(c.opt.shape).has(c.opt.pin ?? membrane.pin ?? 'none')) setPin(c, 'none');
      }));
    $('flip').addEventListener('change', () => change((c) => (c.opt.flip = $('flip').checked ? 'yes' : 'no')));
    $('pin').addEventListener('change', () =>
      change((c) => {
        setPin(c, $('pin').value);
        if (c.opt.pin === 'below' && c.opt.pinBelow === undefined && membrane.pinBelow === undefined) {
          c.opt.pinBelow = fmt(zRange[0] + 0.1 * (zRange[1] - zRange[0]));
        }
      }));
    $('pin-text').addEventListener('change', () =>
      change((c) => {
        const key = $('pin-text').dataset.key, text = $('pin-text').value.trim();
        if (text === '') delete c.opt[key];
        else c.opt[key] = text;
      }));
    $('pin-below').addEventListener('input', () => change((c) => (c.opt.pinBelow = fmt(Number($('pin-below').value))), false));
    $('pin-below').addEventListener('change', () => change(() => {}, true));
    $('clear-pins').addEventListener('click', () => change((c) => setPin(c, 'none')));
    view.onPick = (i, x, y) => {
      const s = sides[i];
      if (!s.built) return;
      const index = view.pick(i, x, y, s.scene.positions());
      if (index < 0) return;
      const pinned = new Set();
      if ((cfg.opt.pin ?? membrane.pin) === 'points' && cfg.opt.pinPoints) {
        for (const t of cfg.opt.pinPoints.split(',')) pinned.add(Number(t));
      } else {
        s.scene.pinned().forEach((p, k) => p && pinned.add(k));
      }
      if (pinned.has(index)) pinned.delete(index);
      else pinned.add(index);
      change((c) => {
        setPin(c, pinned.size === 0 ? 'none' : 'points');
        if (pinned.size) c.opt.pinPoints = [...pinned].sort((p, q) => p - q).join(',');
      });
      note = `point ${index} ${pinned.has(index) ? 'pinned' : 'freed'}; the run starts again from step 0`;
    };
    view.onChange = () => (drawWanted = true);
    $('ab').addEventListener('change', () =>
      change((c) => {
        c.ab = $('ab').checked;
        if (c.ab && Object.keys(c.set.B).length === 0) c.set.B = clone(c.set.A);
        if (!c.ab) editing = 'A';
      }));
    for (const r of document.querySelectorAll('input[name=edit]')) {
      r.addEventListener('change', () => {
        editing = r.value;
        refreshControls();
      });
    }
    $('defaults').addEventListener('click', () => change((c) => (c.set[editing] = {})));
    $('undo').addEventListener('click', () => travel(undoStack, redoStack));
    $('redo').addEventListener('click', () => travel(redoStack, undoStack));
    $('play').addEventListener('click', () => setPlaying(true));
    $('pause').addEventListener('click', () => setPlaying(false));
    $('step').addEventListener('click', () => stepNow(1));
    $('reset').addEventListener('click', () => rebuild());
    $('reset-view').addEventListener('click', () => {
      view.resetView();
      drawWanted = true;
    });
    $('steps-per-frame').addEventListener('change', () => (stepsPerFrame = Number($('steps-per-frame').value)));
    // each of these first takes in a change still waiting for its rebuild
    $('check').addEventListener('click', () => {
      flushRebuild();
      const pre = $('check-text');
      pre.hidden = !pre.hidden;
      if (!pre.hidden) pre.textContent = checkText();
    });
    $('save-ini').addEventListener('click', () => {
      flushRebuild();
      const s = sides[side()];
      const why = unbuilt(s);
      if (why) return status(`nothing saved: ${why}`, true);
      const name = (cfg.preset || s.scene.scenario().name || 'scene') + (cfg.ab ? `-${s.name}` : '') + '.ini';
      download(name, s.scene.sceneIni());
    });
    $('copy-link').addEventListener('click', async () => {
      flushRebuild();
      const lacks = cfg.file
        ? `: it cannot carry the dropped ${cfg.file.names.join(', ')}; whoever opens it must drop that too`
        : '';
      try {
        await navigator.clipboard.writeText(location.href);
      } catch {
        window.prompt('The link of this scene:', location.href);
      }
      status(`link copied${lacks}`, !!lacks);
    });
    $('file-input').addEventListener('change', (e) => takeFiles(e.target.files));
    const zone = document.body;
    zone.addEventListener('dragover', (e) => {
      e.preventDefault();
      $('drop-zone').classList.add('over');
    });
    zone.addEventListener('dragleave', () => $('drop-zone').classList.remove('over'));
    zone.addEventListener('drop', (e) => {
      e.preventDefault();
      $('drop-zone').classList.remove('over');
      takeFiles(e.dataTransfer.files);
    });
    document.addEventListener('keydown', (e) => {
      const typing = e.target.matches('input[type=text], textarea');
      if (typing) return;
      const key = e.key.toLowerCase();
      if ((e.ctrlKey || e.metaKey) && key === 'z') {
        e.preventDefault();
        if (e.shiftKey) travel(redoStack, undoStack);
        else travel(undoStack, redoStack);
      } else if ((e.ctrlKey || e.metaKey) && key === 'y') {
        e.preventDefault();
        travel(redoStack, undoStack);
      } else if (key === ' ' && !e.target.matches('button, select')) {
        e.preventDefault();
        setPlaying(!playing);
      }
    });
    window.addEventListener('hashchange', () => {
      if (location.hash.replace(/^#/, '') === writtenHash) return;
      const { c, lacks } = readHash();
      change((now) => Object.assign(now, c));
      flushRebuild();
      sayLacks(lacks);
    });
    window.addEventListener('resize', () => (drawWanted = true));
  }

  async function start() {
    M = await TumelinPreview();
    $('plugin-name').textContent = `plug-in ${M.pluginName()}`;
    for (const { path, text } of JSON.parse($('examples').textContent)) {
      const file = `/presets/${path}`;
      M.FS.mkdirTree(file.slice(0, file.lastIndexOf('/')));
      M.FS.writeFile(file, text);
      if (path.endsWith('.ini')) presets.set(path.replace(/^.*\//, '').replace(/\.ini$/, ''), file);
    }
    for (const s of sides) s.scene = new M.Scene();
    probe = new M.Scene();
    pinChoices = new Map(M.pinChoices().map((c) => [c.shape, new Map(c.pins.map((p) => [p.name, p.param]))]));
    view = new MembraneView($('view'), M);
    plot = new LivePlot($('plot'));
    buildSettingControls();
    wire();
    const { c, lacks } = location.hash.length > 1 ? readHash() : { c: null, lacks: '' };
    cfg = c || defaultConfig();
    rebuild();
    // a link that does not build can be undone to the scene the page opens with
    if (sides[0].error) undoStack.push(defaultConfig());
    sayLacks(lacks);
    setPlaying(true);
    refreshHistory();
    requestAnimationFrame(frame);
  }

  start().then(resolveReady, (error) => {
    status(`the preview failed to start: ${error.message || error}`, true);
    rejectReady(error);
  });
})();
