// The transport under the view: play, pause, one step, reset, steps per
// frame and the camera's reset; and the keys: Space plays or pauses, Ctrl+Z
// undoes, Ctrl+Shift+Z and Ctrl+Y redo.
import { $, status } from '../dom.js';
import { download } from '../files.js';
import { Membranes } from '../membranes.js';
import { flushRebuild, rebuild, travel } from '../scene_actions.js';

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
  app.view.onChange = () => (runner.drawWanted = true);
  window.addEventListener('resize', () => (runner.drawWanted = true));
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
