// Every change of the scene goes through change(): the store keeps it for
// undo and the membranes are built again from it before the next frame, the
// run starting at step 0. rebuild() builds them, writes the address and
// brings every control up to date.
import { $, status } from './dom.js';
import { listWarnings } from './panels/report.js';

export function change(app, mutate, final = true) {
  app.store.change(mutate, final);
  app.runner.rebuildWanted = true;
  refreshHistory(app);
}

// one step back in the history (or forward, `redo`), built at once
export function travel(app, redo) {
  if (!(redo ? app.store.redo() : app.store.undo())) return;
  rebuild(app);
  refreshHistory(app);
}

export function refreshHistory(app) {
  $('undo').disabled = app.store.undoStack.length === 0;
  $('redo').disabled = app.store.redoStack.length === 0;
}

// a change still waiting for its rebuild taken in now
export function flushRebuild(app) {
  if (app.runner.rebuildWanted) rebuild(app);
}

export function rebuild(app) {
  const { store, membranes, runner } = app;
  const cfg = store.cfg;
  runner.rebuildWanted = false;
  runner.pastEnd = false;
  const running = membranes.running(cfg);
  const errors = [];
  running.forEach((s, i) => {
    if (membranes.build(i, cfg)) errors.push((cfg.ab ? `${s.name}: ` : '') + s.error);
    else app.view.setMesh(i, s.scene);
  });
  app.view.sides = running.length;
  const figureWord = membranes.describeA(cfg);
  if (figureWord !== null) app.plot.reset(figureWord);
  sayBuilt(
    app,
    errors,
    running.some((s) => s.error && s.built),
  );
  $('diverged').hidden = true;
  runner.restartMeterLater();
  app.address.write(cfg);
  app.refresh();
  listWarnings(app);
  if (!$('check-text').hidden) $('check-text').textContent = membranes.checkText();
  runner.drawWanted = true;
}

// `kept`: a side that did not build still runs the membrane before
function sayBuilt(app, errors, kept) {
  if (errors.length) {
    const after = kept ? ' (the membrane before stays)' : ' (nothing runs until the scene builds)';
    status(`not built — ${errors.join('; ')}${after}`, true);
  } else {
    status(app.runner.note || `built: ${app.membranes.sides[0].scene.scenario().name}; the run started at step 0`);
  }
  app.runner.note = '';
}
