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
  const SIZES = {
    sphere: ['columns', 'rows', 'radius', 'flatten'],
    torus: ['columns', 'rows', 'majorRadius', 'minorRadius', 'flatten'],
    sheet: ['columns', 'rows', 'width', 'depth'],
    tube: ['columns', 'rows', 'radius', 'length'],
    mesh: [],
  };
  const OPTION_KEYS = ['shape', 'columns', 'rows', 'radius', 'flatten', 'majorRadius', 'minorRadius', 'width', 'depth',
    'length', 'pin', 'pinRing', 'pinPoints', 'pinGroup', 'pinBelow', 'winding', 'flip', 'defect', 'mesh', 'steps'];

  let M, view, plot;
  const sides = SIDES.map((name) => ({ name, scene: null, built: false, setErrors: {}, diverged: '' }));
  let cfg = SceneUrl.empty();
  let base = null; // the configuration before a change still under way (a slider being dragged)
  const undoStack = [], redoStack = [];
  let rebuildWanted = false, drawWanted = true, playing = true, stepsPerFrame = 5, editing = 'A';
  let membrane = {}; // A's [Membrane] section as the module saves it
  let zRange = [0, 1];
  let presets = {}; // name -> path in the module's file system
  let writtenHash = '';
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
    $('status').classList.toggle('error', !!error);
  }

  // ---- building

  function iniPath(c) {
    if (c.file && c.file.ini) return c.file.ini;
    return c.preset ? presets[c.preset] || '' : '';
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
    s.diverged = '';
    view.setMesh(i, scene);
    return '';
  }

  function rebuild() {
    rebuildWanted = false;
    const errors = [];
    const count = cfg.ab ? 2 : 1;
    for (let i = 0; i < count; i++) {
      const error = buildSide(i);
      if (error) errors.push((cfg.ab ? `${SIDES[i]}: ` : '') + error);
    }
    view.sides = count;
    const a = sides[0].scene;
    if (sides[0].built) {
      membrane = parseMembrane(a.sceneIni());
      const p = a.positions();
      let lo = Infinity, hi = -Infinity;
      for (let k = 2; k < p.length; k += 3) (lo = Math.min(lo, p[k])), (hi = Math.max(hi, p[k]));
      zRange = lo <= hi ? [lo, hi] : [0, 1];
      plot.reset(a.figures().figureWord);
    }
    if (errors.length) status(`not built — ${errors.join('; ')} (the membrane before stays)`, true);
    else status(note || `built: ${a.scenario().name}; the run started at step 0`);
    note = '';
    $('diverged').hidden = true;
    meter.since = 0;
    writeHash();
    refreshControls();
    listWarnings();
    if (!$('check-text').hidden) $('check-text').textContent = a.checkText();
    drawWanted = true;
  }

  function flushRebuild() {
    if (rebuildWanted) rebuild();
  }

  // [Membrane] of a saved INI text as option keys: Columns -> columns
  function parseMembrane(text) {
    const out = {};
    let inside = false;
    for (const line of text.split(/\r?\n/)) {
      const section = /^\s*\[(.*)\]\s*$/.exec(line);
      if (section) inside = section[1] === 'Membrane';
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

  function readHash() {
    const { cfg: c, unknown } = SceneUrl.decode(location.hash, OPTION_KEYS);
    if (c.preset && !presets[c.preset]) unknown.push(`preset ${c.preset}`);
    return { c, unknown };
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
        <input type="range" data-testid="${s.key}-slider" min="${s.log ? Math.log10(s.min) : s.min}" max="${s.log ? Math.log10(s.max) : s.max}" step="${s.log ? 0.01 : s.step}" title="${s.min} … ${s.max}${s.log ? ' (logarithmic)' : ''}: the sensible range">
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

  function setText(c, key, text) {
    if (text === '') delete c.set[editing][key];
    else c.set[editing][key] = text;
  }

  function refreshControls() {
    const scene = sides[side()].scene;
    if (!sides[side()].built) return;
    const lines = scene.settings();
    const typed = cfg.set[editing];
    $('separator').textContent = `decimal separator '${scene.separator()}'`;
    $('separator').title = 'The plug-in reads numbers with this separator; a number written with another one keeps the default (the verdict says so).';
    for (const s of SLIDERS) {
      const line = lines.find((l) => l.key === s.key);
      const [slider, text] = s.row.querySelectorAll('input');
      const note = s.row.querySelector('[data-testid$="-note"]');
      const error = sides[side()].setErrors[s.key];
      note.textContent = error || line.note;
      note.parentElement.classList.toggle('rejected', !!error || (line.present && !line.accepted));
      s.row.querySelector('.typed').textContent = line.given ? ' — typed here' : '';
      if (s.select) {
        s.select.value = typed[s.key] !== undefined && METHODS.some((m) => m[0] === typed[s.key]) ? typed[s.key] : '';
        // untyped, the method is the file's or the plug-in's default
        s.select.options[0].text = `${line.present ? 'as the file says' : 'the default'} (${line.stored})`;
        continue;
      }
      if (document.activeElement !== text) text.value = typed[s.key] ?? '';
      text.placeholder = line.present ? line.text : line.stored;
      text.classList.toggle('given', typed[s.key] !== undefined);
      if (document.activeElement !== slider) {
        const v = Number(line.stored);
        slider.value = s.log ? Math.log10(Math.max(v, 1e-9)) : v;
      }
    }
    refreshScene();
  }

  function refreshScene() {
    const a = sides[0].scene.scenario();
    const shapeSelect = $('shape');
    shapeSelect.value = a.shape;
    $('flip-row').hidden = a.shape !== 'mesh';
    $('flip').checked = (cfg.opt.flip ?? membrane.flip) === 'yes';
    $('preset').value = cfg.file ? '' : cfg.preset;
    const sizes = $('sizes');
    sizes.textContent = '';
    for (const key of SIZES[a.shape] || []) {
      const label = document.createElement('label');
      label.textContent = key.replace(/[A-Z]/g, (c) => ' ' + c.toLowerCase());
      const input = document.createElement('input');
      input.type = 'text';
      input.dataset.testid = `size-${key}`;
      input.value = cfg.opt[key] ?? membrane[key] ?? '';
      input.classList.toggle('given', cfg.opt[key] !== undefined);
      input.addEventListener('change', () =>
        change((c) => (input.value === '' ? delete c.opt[key] : (c.opt[key] = input.value.trim()))));
      sizes.append(label, input);
    }
    const pin = cfg.opt.pin ?? membrane.pin ?? 'none';
    $('pin').value = pin;
    $('pin-below-row').hidden = pin !== 'below';
    const slider = $('pin-below');
    slider.min = zRange[0];
    slider.max = zRange[1];
    const below = Number(cfg.opt.pinBelow ?? membrane.pinBelow);
    if (Number.isFinite(below)) slider.value = below;
    $('pin-below-value').textContent = Number.isFinite(below) ? String(below) : '';
    const mesh = a.shape === 'mesh';
    $('save-note').textContent = mesh
      ? 'The saved INI names the mesh by its file name: keep it in the folder of that OBJ file.'
      : '';
    const dropped = cfg.file ? cfg.file.names.join(', ') : '';
    $('file-note').hidden = !dropped;
    $('file-note').textContent = dropped
      ? `Using the dropped ${dropped}. A dropped file cannot go into a link: the address keeps the rest of the scene only.`
      : '';
    $('ab').checked = cfg.ab;
    $('edit-which').hidden = !cfg.ab;
    $('label-b').hidden = !cfg.ab;
    for (const r of document.querySelectorAll('input[name=edit]')) r.checked = r.value === editing;
    labels();
  }

  function labels() {
    for (let i = 0; i < (cfg.ab ? 2 : 1); i++) {
      const s = sides[i];
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

  function listWarnings() {
    const list = $('warnings');
    list.textContent = '';
    const seen = new Set();
    for (let i = 0; i < (cfg.ab ? 2 : 1); i++) {
      if (!sides[i].built) continue;
      for (const w of sides[i].scene.warnings()) {
        const text = cfg.ab ? `${SIDES[i]}: ${w}` : w;
        if (seen.has(w) && cfg.ab) continue;
        seen.add(w);
        const li = document.createElement('li');
        li.textContent = text;
        list.append(li);
      }
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
        addWarning((cfg.ab ? `${s.name}: ` : '') + s.diverged, 'divergence');
        $('diverged').hidden = false;
        $('diverged').textContent = (cfg.ab ? `${s.name}: ` : '') + s.diverged;
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
    return sides[0].scene.steps();
  }

  function meterFrame(now) {
    meter.frames++;
    if (!meter.since) return restartMeter(now);
    const elapsed = now - meter.since;
    if (elapsed < 500) return;
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
    const names = [];
    for (const f of list) {
      M.FS.writeFile(`/dropped/${f.name}`, new Uint8Array(await f.arrayBuffer()));
      names.push(f.name);
    }
    const ini = list.find((f) => /\.ini$/i.test(f.name));
    const obj = list.find((f) => /\.obj$/i.test(f.name));
    change((c) => {
      c.preset = '';
      c.opt = {};
      if (ini) c.file = { ini: `/dropped/${ini.name}`, names };
      else {
        c.file = { names };
        c.opt.mesh = `/dropped/${obj.name}`;
      }
    });
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
    for (const name of Object.keys(presets)) presetSelect.append(new Option(name, name));
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
    $('shape').addEventListener('change', () =>
      change((c) => {
        c.opt.shape = $('shape').value;
        delete c.opt.mesh;
        if (c.file && !c.file.ini) c.file = null;
      }));
    $('flip').addEventListener('change', () => change((c) => (c.opt.flip = $('flip').checked ? 'yes' : 'no')));
    for (const name of M.pinNames()) $('pin').append(new Option(name, name));
    $('pin').addEventListener('change', () =>
      change((c) => {
        c.opt.pin = $('pin').value;
        if (c.opt.pin !== 'points') delete c.opt.pinPoints;
        if (c.opt.pin === 'below' && c.opt.pinBelow === undefined && membrane.pinBelow === undefined) {
          c.opt.pinBelow = fmt(zRange[0] + 0.1 * (zRange[1] - zRange[0]));
        }
      }));
    $('pin-below').addEventListener('input', () => change((c) => (c.opt.pinBelow = fmt(Number($('pin-below').value))), false));
    $('pin-below').addEventListener('change', () => change(() => {}, true));
    $('clear-pins').addEventListener('click', () =>
      change((c) => {
        c.opt.pin = 'none';
        delete c.opt.pinPoints;
        delete c.opt.pinBelow;
      }));
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
        if (pinned.size === 0) {
          c.opt.pin = 'none';
          delete c.opt.pinPoints;
        } else {
          c.opt.pin = 'points';
          c.opt.pinPoints = [...pinned].sort((p, q) => p - q).join(',');
        }
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
    $('check').addEventListener('click', () => {
      const pre = $('check-text');
      pre.hidden = !pre.hidden;
      if (!pre.hidden) pre.textContent = sides[0].scene.checkText();
    });
    $('save-ini').addEventListener('click', () => {
      const s = sides[side()];
      const name = (cfg.preset || s.scene.scenario().name || 'scene') + (cfg.ab ? `-${s.name}` : '') + '.ini';
      download(name, s.scene.sceneIni());
    });
    $('copy-link').addEventListener('click', async () => {
      try {
        await navigator.clipboard.writeText(location.href);
        status('link copied' + (cfg.file ? ' (without the dropped file)' : ''));
      } catch {
        window.prompt('The link of this scene:', location.href);
      }
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
      const { c } = readHash();
      change((now) => Object.assign(now, c));
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
      if (path.endsWith('.ini')) presets[path.replace(/^.*\//, '').replace(/\.ini$/, '')] = file;
    }
    for (const s of sides) s.scene = new M.Scene();
    view = new MembraneView($('view'), M);
    plot = new LivePlot($('plot'));
    buildSettingControls();
    wire();
    const { c, unknown } = location.hash.length > 1 ? readHash() : { c: null, unknown: [] };
    cfg = c || { preset: presets.pillow ? 'pillow' : Object.keys(presets)[0], opt: {}, set: { A: {}, B: {} }, ab: false, file: null };
    if (c && !presets[c.preset]) cfg.preset = '';
    rebuild();
    if (unknown.length) status(`the link names what this page does not know: ${unknown.join(', ')}`, true);
    setPlaying(true);
    refreshHistory();
    requestAnimationFrame(frame);
  }

  start().then(resolveReady, (error) => {
    status(`the preview failed to start: ${error.message || error}`, true);
    rejectReady(error);
  });
})();
