// The Pins panel: the pinnings the shape takes, the field of the one chosen
// (a text or the height slider), Clear pins, and a click on the membrane
// pinning or freeing a point.
import { $, formatNumber, spaced } from '../dom.js';
import { change } from '../scene_actions.js';

// what the text field of a pinning takes, by the option it fills
const PIN_HINTS = new Map([
  ['pinRing', 'a grid row; -1: the top ring'],
  ['pinPoints', 'point indices: 0,12,40'],
  ['pinGroup', 'a group of the mesh file'],
]);

// `pin` chosen, and what the others pinned forgotten
export function setPin(app, c, pin) {
  c.opt.pin = pin;
  const keep = app.options.pinChoices.get(app.membranes.shape)?.get(pin);
  for (const pins of app.options.pinChoices.values()) {
    for (const param of pins.values()) if (param && param !== keep) delete c.opt[param];
  }
}

export function wirePins(app) {
  const { membranes } = app;
  const separator = () => membranes.sides[0].scene.separator();
  $('pin').addEventListener('change', () =>
    change(app, (c) => {
      setPin(app, c, $('pin').value);
      if (c.opt.pin === 'below' && c.opt.pinBelow === undefined && membranes.membrane.pinBelow === undefined) {
        const [lo, hi] = membranes.zRange;
        c.opt.pinBelow = formatNumber(lo + 0.1 * (hi - lo), separator());
      }
    }),
  );
  $('pin-text').addEventListener('change', () =>
    change(app, (c) => {
      const key = $('pin-text').dataset.key;
      const text = $('pin-text').value.trim();
      if (text === '') delete c.opt[key];
      else c.opt[key] = text;
    }),
  );
  const below = $('pin-below');
  below.addEventListener('input', () =>
    change(app, (c) => (c.opt.pinBelow = formatNumber(Number(below.value), separator())), false),
  );
  below.addEventListener('change', () => change(app, () => {}, true));
  $('clear-pins').addEventListener('click', () => change(app, (c) => setPin(app, c, 'none')));
  app.view.onPick = (i, x, y) => pickPoint(app, i, x, y);
}

// the point under a click pinned, or freed if it was pinned
function pickPoint(app, i, x, y) {
  const s = app.membranes.sides[i];
  if (!s.built) return;
  const index = app.view.pick(i, x, y, s.scene.positions());
  if (index < 0) return;
  const opt = app.store.cfg.opt;
  const pinned = new Set();
  if ((opt.pin ?? app.membranes.membrane.pin) === 'points' && opt.pinPoints) {
    for (const t of opt.pinPoints.split(',')) pinned.add(Number(t));
  } else {
    s.scene.pinned().forEach((p, k) => p && pinned.add(k));
  }
  if (pinned.has(index)) pinned.delete(index);
  else pinned.add(index);
  change(app, (c) => {
    setPin(app, c, pinned.size === 0 ? 'none' : 'points');
    if (pinned.size) c.opt.pinPoints = [...pinned].sort((p, q) => p - q).join(',');
  });
  app.runner.note = `point ${index} ${pinned.has(index) ? 'pinned' : 'freed'}; the run starts again from step 0`;
}

// the pinnings that apply to the shape, and the field of the one chosen
export function refreshPins(app) {
  const { cfg } = app.store;
  const { membrane, shape, zRange } = app.membranes;
  const choices = app.options.pinChoices.get(shape) || new Map();
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
  $('pin-text-label').textContent = spaced(param);
  const slider = $('pin-below');
  slider.min = zRange[0];
  slider.max = zRange[1];
  const below = Number(cfg.opt.pinBelow ?? membrane.pinBelow);
  if (Number.isFinite(below)) slider.value = below;
  $('pin-below-value').textContent = Number.isFinite(below) ? String(below) : '';
}
