// The Scene panel: the preset, the shape and its size fields, the mesh's
// flip, Check, Save INI and Copy link, the note on dropped files; and the
// A/B switch with the side being edited, Undo, Redo and the file's values.
import { $, spaced, status } from '../dom.js';
import { savedName } from '../ini.js';
import { Membranes } from '../membranes.js';
import { change, flushRebuild, rebuild, travel } from '../scene_actions.js';
import { download } from '../files.js';
import { setPin } from './pins.js';

export function wireScene(app) {
  wirePresetAndShape(app);
  wireButtons(app);
  wireComparison(app);
}

function wirePresetAndShape(app) {
  const presetSelect = $('preset');
  presetSelect.append(new Option("(none: the plug-in's defaults)", ''));
  for (const name of app.membranes.presets.keys()) presetSelect.append(new Option(name, name));
  presetSelect.addEventListener('change', () =>
    change(app, (c) => {
      c.preset = presetSelect.value;
      c.file = null;
      c.opt = {};
      c.set = { A: {}, B: {} };
    }),
  );
  for (const name of app.options.shapes) $('shape').append(new Option(name, name));
  $('shape').querySelector('option[value=mesh]').disabled = true;
  // a shape chosen leaves the mesh, and a pinning the shape has not
  $('shape').addEventListener('change', () =>
    change(app, (c) => {
      c.opt.shape = $('shape').value;
      delete c.opt.mesh;
      if (c.file && !c.file.ini) c.file = null;
      const pin = c.opt.pin ?? app.membranes.membrane.pin ?? 'none';
      if (!app.options.pinChoices.get(c.opt.shape).has(pin)) setPin(app, c, 'none');
    }),
  );
  $('flip').addEventListener('change', () => change(app, (c) => (c.opt.flip = $('flip').checked ? 'yes' : 'no')));
}

// each of these first takes in a change still waiting for its rebuild
function wireButtons(app) {
  $('check').addEventListener('click', () => {
    flushRebuild(app);
    const pre = $('check-text');
    pre.hidden = !pre.hidden;
    if (!pre.hidden) pre.textContent = app.membranes.checkText();
  });
  $('save-ini').addEventListener('click', () => {
    flushRebuild(app);
    const s = app.membranes.sides[app.store.side()];
    const why = Membranes.unbuilt(s);
    if (why) return status(`nothing saved: ${why}`, true);
    download(savedName(app.store.cfg, s.name, s.scene.scenario().name), s.scene.sceneIniAtStep());
  });
  // the settings read again as a host with the other separator: a rebuild, from step 0
  $('host-separator').addEventListener('change', () => {
    app.membranes.separator = $('host-separator').value;
    rebuild(app);
  });
  $('copy-link').addEventListener('click', async () => {
    flushRebuild(app);
    const file = app.store.cfg.file;
    const lacks = file
      ? `: it cannot carry the dropped ${file.names.join(', ')}; whoever opens it must drop that too`
      : '';
    try {
      await navigator.clipboard.writeText(location.href);
    } catch {
      window.prompt('The link of this scene:', location.href);
    }
    status(`link copied${lacks}`, !!lacks);
  });
}

function wireComparison(app) {
  $('ab').addEventListener('change', () =>
    change(app, (c) => {
      c.ab = $('ab').checked;
      if (c.ab && Object.keys(c.set.B).length === 0) c.set.B = JSON.parse(JSON.stringify(c.set.A));
      if (!c.ab) app.store.editing = 'A';
    }),
  );
  for (const r of document.querySelectorAll('input[name=edit]')) {
    r.addEventListener('change', () => {
      app.store.editing = r.value;
      app.refresh();
    });
  }
  $('defaults').addEventListener('click', () => change(app, (c) => (c.set[app.store.editing] = {})));
  $('undo').addEventListener('click', () => travel(app, false));
  $('redo').addEventListener('click', () => travel(app, true));
}

export function refreshScene(app) {
  const { cfg, editing } = app.store;
  const { shape, membrane } = app.membranes;
  $('shape').value = shape;
  $('flip-row').hidden = shape !== 'mesh';
  $('flip').checked = (cfg.opt.flip ?? membrane.flip) === 'yes';
  $('preset').value = cfg.file ? '' : cfg.preset;
  refreshSizes(app);
  $('save-note').textContent =
    shape === 'mesh' ? 'The saved INI names the mesh by its file name: keep it in the folder of that OBJ file.' : '';
  $('file-note').hidden = !cfg.file;
  $('file-note').textContent = cfg.file ? fileNote(app, cfg.file) : '';
  $('ab').checked = cfg.ab;
  $('edit-which').hidden = !cfg.ab;
  $('label-b').hidden = !cfg.ab;
  for (const r of document.querySelectorAll('input[name=edit]')) r.checked = r.value === editing;
}

// the size fields of the shape, made again only when the shape's sizes
// differ, so that a field keeps its focus and its text across rebuilds
function refreshSizes(app) {
  const keys = app.options.sizes.get(app.membranes.shape) || [];
  const box = $('sizes');
  if (box.dataset.keys !== keys.join()) {
    box.dataset.keys = keys.join();
    box.textContent = '';
    for (const key of keys) box.append(...sizeField(app, key));
  }
  const opt = app.store.cfg.opt;
  for (const input of box.querySelectorAll('input')) {
    const key = input.dataset.key;
    if (document.activeElement !== input) input.value = opt[key] ?? app.membranes.membrane[key] ?? '';
    input.classList.toggle('given', opt[key] !== undefined);
  }
}

function sizeField(app, key) {
  const label = document.createElement('label');
  label.textContent = spaced(key);
  const input = document.createElement('input');
  input.type = 'text';
  input.dataset.testid = `size-${key}`;
  input.dataset.key = key;
  input.title =
    key === 'steps'
      ? 'the steps a host runs from the saved INI file; this page runs until paused'
      : (app.options.table.get(key)?.help ?? '');
  input.addEventListener('change', () =>
    change(app, (c) => (input.value.trim() === '' ? delete c.opt[key] : (c.opt[key] = input.value.trim()))),
  );
  return [label, input];
}

// which dropped files A's membrane uses: only those of a scene that built
function fileNote(app, file) {
  const used = file.names.join(', ');
  const why = file.ini ? 'not the mesh the INI file names' : 'one mesh at a time';
  const unused = file.unused.length ? ` Not used: ${file.unused.join(', ')} (${why}).` : '';
  if (JSON.stringify(app.membranes.builtFile) !== JSON.stringify(file)) {
    const still = app.membranes.sides[0].built ? 'the membrane before still runs' : 'nothing runs';
    return `The dropped ${used} did not build: ${still}.${unused}`;
  }
  return `Using the dropped ${used}.${unused} A link cannot carry a dropped file: it names the file, and whoever opens it must drop it too.`;
}
