// The transport under the view: play, pause, one step, reset, steps per
// frame and the camera's reset; and the keys: Space plays or pauses, Ctrl+Z
// undoes, Ctrl+Shift+Z and Ctrl+Y redo.
import { $, status } from '../dom.js';
import { download } from '../files.js';
import { Membranes } from '../membranes.js';
import { flushRebuild, rebuild, travel } from '../scene_actions.js';

// the ramps the view's shader colours with, and what each map shows
const LEGENDS = Object.freeze({
  strain: {
    name: 'strain, L / L0 - 1 of the most strained spring (running max)',
    ramp: 'linear-gradient(to right, rgb(38,89,217), rgb(235,235,235), rgb(217,38,31))',
    low: (r) => -r,
  },
  pressure: {
    name: 'pressure push . velocity per point: blue holds back, red drives (running max)',
    ramp: 'linear-gradient(to right, rgb(38,89,217), rgb(235,235,235), rgb(217,38,31))',
    low: (r) => -r,
  },
  speed: {
    name: 'speed per point (running max)',
    ramp: 'linear-gradient(to right, rgb(235,235,235), rgb(26,140,77))',
    low: () => 0,
  },
});

function showLegend(map, range) {
  const legend = LEGENDS[map];
  $('legend').hidden = !legend;
  if (!legend) return;
  const fmt = (v) => (v === 0 ? '0' : v.toPrecision(3));
  $('legend-name').textContent = legend.name;
  $('legend-ramp').style.background = legend.ramp;
  $('legend-low').textContent = fmt(legend.low(range));
  $('legend-high').textContent = fmt(range);
}

// a map chosen: every running side's values taken again for it
export function setColourMap(app, map) {
  app.view.setMap(map);
  showLegend(map, 0);
  app.membranes.running(app.store.cfg).forEach((s, i) => s.built && app.view.update(i, s.scene));
  app.runner.drawWanted = true;
}

export function wireTransport(app) {
  const { runner } = app;
  $('play').addEventListener('click', () => runner.setPlaying(true));
  $('pause').addEventListener('click', () => runner.setPlaying(false));
  $('step').addEventListener('click', () => runner.stepNow(1));
  $('reset').addEventListener('click', () => rebuild(app));
  $('reset-view').addEventListener('click', () => {
    app.view.resetView();
    runner.drawWanted = true;
  });
  $('goto').addEventListener('click', () => goTo(app, Math.max(0, Math.floor(Number($('goto-step').value) || 0))));
  $('goto-step').addEventListener('keydown', (e) => e.key === 'Enter' && $('goto').click());
  $('export-obj').addEventListener('click', () =>
    exportText(
      app,
      (sc) => `surface-step-${sc.steps()}.obj`,
      (sc) => sc.surfaceObj(),
    ),
  );
  $('export-csv').addEventListener('click', () =>
    exportText(
      app,
      (sc) => `figures-step-${sc.steps()}.csv`,
      (sc) => sc.figuresCsv(),
    ),
  );
  $('steps-per-frame').addEventListener('change', () => (runner.stepsPerFrame = Number($('steps-per-frame').value)));
  $('colour-map').addEventListener('change', () => setColourMap(app, $('colour-map').value));
  $('plot-right').addEventListener('change', () => app.plot.setRight($('plot-right').value));
  app.view.onRange = (map, range) => showLegend(map, range);
  app.view.onChange = () => (runner.drawWanted = true);
  // the view's box changes with the window and with the rows around it (a
  // status line that wraps): a paused picture is drawn again at the new size
  new ResizeObserver(() => (runner.drawWanted = true)).observe($('view'));
  document.addEventListener('keydown', (e) => onKey(app, e));
}

// an exact run from step 0 to step n, paused there; the plot takes figures
// about two hundred times on the way
export function goTo(app, n) {
  const { runner } = app;
  flushRebuild(app);
  rebuild(app);
  runner.setPlaying(false);
  const chunk = Math.max(1, Math.ceil(n / 200));
  let left = n;
  for (; left > chunk; left -= chunk) runner.advance(chunk);
  const reached = runner.stepNow(left);
  status(`at step ${reached}: run again from step 0`);
  return reached;
}

// a text of the edited side's scene at the step shown, downloaded
function exportText(app, name, text) {
  flushRebuild(app);
  const s = app.membranes.sides[app.store.side()];
  const why = Membranes.unbuilt(s);
  if (why) return status(`nothing exported: ${why}`, true);
  download(name(s.scene), text(s.scene));
}

function onKey(app, e) {
  if (e.target.matches('input[type=text], textarea')) return;
  const key = e.key.toLowerCase();
  const command = e.ctrlKey || e.metaKey;
  if (command && (key === 'z' || key === 'y')) {
    e.preventDefault();
    travel(app, key === 'y' || e.shiftKey);
  } else if (key === ' ' && !e.target.matches('button, select')) {
    e.preventDefault();
    app.runner.setPlaying(!app.runner.playing);
  }
}
