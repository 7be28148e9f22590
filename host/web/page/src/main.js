// The preview page: the module loaded, the examples put into its file
// system as presets, the store, the membranes, the view and the plot made,
// every panel wired, the scene of the address (or the default one) built,
// and the frame loop started. window.tumelin is what the tests and the
// scripts drive the page through.
import { $, sayLacks, status } from './dom.js';
import { Address } from './address.js';
import { Runner } from './frame_loop.js';
import { Membranes } from './membranes.js';
import { empty } from './scene_url.js';
import { sceneOptions } from './scene_options.js';
import { Store } from './store.js';
import { change, flushRebuild, rebuild, refreshHistory } from './scene_actions.js';
import { wireFiles } from './files.js';
import { MembraneView } from './view.js';
import { LivePlot } from './plot.js';
import { labels } from './panels/report.js';
import { refreshPins, wirePins } from './panels/pins.js';
import { refreshScene, wireScene } from './panels/scene.js';
import { makeSettings, refreshSettings } from './panels/settings.js';
import { goTo, wireTransport } from './panels/transport.js';

/* global TumelinPreview */

// the examples the page carries, as presets: name -> path in the module's file system
function loadPresets(M) {
  const presets = new Map();
  for (const { path, text } of JSON.parse($('examples').textContent)) {
    const file = `/presets/${path}`;
    M.FS.mkdirTree(file.slice(0, file.lastIndexOf('/')));
    M.FS.writeFile(file, text);
    if (path.endsWith('.ini')) presets.set(path.replace(/^.*\//, '').replace(/\.ini$/, ''), file);
  }
  return presets;
}

function defaultConfig(presets) {
  return { ...empty(), preset: presets.has('pillow') ? 'pillow' : [...presets.keys()][0] };
}

function makeApp(M) {
  const presets = loadPresets(M);
  const options = sceneOptions(M);
  const app = {
    M,
    options,
    store: new Store(),
    membranes: new Membranes(M, presets),
    address: new Address(options, presets),
    view: MembraneView.make($('view'), M),
    plot: new LivePlot($('plot')),
    refresh: () => refreshAll(app),
  };
  app.runner = new Runner(app);
  app.settingRows = makeSettings(app);
  return app;
}

function refreshAll(app) {
  refreshSettings(app);
  refreshScene(app);
  refreshPins(app);
  labels(app);
}

// a link opened over the page: its scene replaces the one running
function followLinks(app) {
  window.addEventListener('hashchange', () => {
    if (!app.address.isNew()) return;
    const { c, lacks } = app.address.read();
    change(app, (now) => Object.assign(now, c));
    flushRebuild(app);
    sayLacks(lacks);
  });
}

async function start() {
  const M = await TumelinPreview();
  $('plugin-name').textContent = `plug-in ${M.pluginName()}`;
  const app = makeApp(M);
  for (const wire of [wireScene, wirePins, wireTransport, wireFiles, followLinks]) wire(app);
  const { c, lacks } = location.hash.length > 1 ? app.address.read() : { c: null, lacks: '' };
  app.store.cfg = c || defaultConfig(app.membranes.presets);
  rebuild(app);
  // a link that does not build can be undone to the scene the page opens with
  if (app.membranes.sides[0].error) app.store.remember(defaultConfig(app.membranes.presets));
  sayLacks(lacks);
  app.runner.setPlaying(true);
  refreshHistory(app);
  requestAnimationFrame((t) => app.runner.frame(t));
  return app;
}

// what the tests and the scripts use, there once the page has started
function api(app) {
  const { membranes, store, runner } = app;
  return {
    stats: runner.stats,
    scene: () => membranes.sides[0].scene,
    sceneB: () => (store.cfg.ab ? membranes.sides[1].scene : null),
    stepNow: (n) => runner.stepNow(n),
    goTo: (n) => goTo(app, n),
    play: () => runner.setPlaying(true),
    pause: () => runner.setPlaying(false),
    config: () => store.snapshot(),
    module: app.M,
  };
}

window.tumelin = {};
window.tumelin.ready = start().then(
  (app) => void Object.assign(window.tumelin, api(app)),
  (error) => {
    status(`the preview failed to start: ${error.message || error}`, true);
    throw error;
  },
);
