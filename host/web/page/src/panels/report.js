// What the page reports of the running membranes: the label over each side
// and the list of warnings.
import { $ } from '../dom.js';

export function labels(app) {
  const cfg = app.store.cfg;
  readout(app.membranes.sides[0]);
  app.membranes.running(cfg).forEach((s, i) => {
    const label = $(i === 0 ? 'label-a' : 'label-b');
    label.hidden = !s.built;
    if (!s.built) return;
    const sc = s.scene;
    const f = sc.figures();
    const typed = Object.entries(cfg.set[s.name])
      .map(([k, v]) => `${k}=${v}`)
      .join(' ');
    const head = cfg.ab ? `${s.name}: ${typed || "the file's values"}` : sc.scenario().name;
    label.textContent =
      `${head}\n${sc.pointCount()} points · step ${sc.steps()} · ${f.figureWord} ${f.figure.toPrecision(5)}` +
      (s.diverged ? ' · diverged' : '');
  });
}

// A's step, its simulated time and its state hash, the hex text tumelin-host run --hash prints
function readout(a) {
  const n = a.built ? a.scene.steps() : 0;
  $('readout').textContent = a.built ? `step ${n} · ${(n * 0.005).toFixed(3)} s · hash ${a.scene.hash()}` : '';
}

// each warning once, after the sides that share it: "A and B: ..."
export function listWarnings(app) {
  const cfg = app.store.cfg;
  const list = $('warnings');
  list.textContent = '';
  const bySides = new Map();
  for (const s of app.membranes.running(cfg)) {
    if (!s.built || s.error) continue;
    for (const w of s.scene.warnings()) bySides.set(w, [...(bySides.get(w) || []), s.name]);
  }
  for (const [w, names] of bySides) addWarning(cfg.ab ? `${names.join(' and ')}: ${w}` : w, '');
  if (!list.children.length) addWarning('none', 'none');
}

export function addWarning(text, className) {
  const list = $('warnings');
  const none = list.querySelector('.none');
  if (none) none.remove();
  const li = document.createElement('li');
  li.className = className;
  li.textContent = text;
  list.append(li);
}
