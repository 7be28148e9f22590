// The transport under the view: play, pause, one step, reset, steps per
// frame and the camera's reset; and the keys: Space plays or pauses, Ctrl+Z
// undoes, Ctrl+Shift+Z and Ctrl+Y redo.
import { $ } from '../dom.js';
import { rebuild, travel } from '../scene_actions.js';

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
  $('steps-per-frame').addEventListener('change', () => (runner.stepsPerFrame = Number($('steps-per-frame').value)));
  app.view.onChange = () => (runner.drawWanted = true);
  window.addEventListener('resize', () => (runner.drawWanted = true));
  document.addEventListener('keydown', (e) => onKey(app, e));
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
