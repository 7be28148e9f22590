// The Settings panel: a slider and a text field for each [Setup] key with a
// sensible range, a list for the integrator, and beside each the plug-in's
// verdict on what it was given, for the side being edited.
import { $, formatNumber } from '../dom.js';
import { change } from '../scene_actions.js';

// the [Setup] keys with a slider: their sensible ranges (docs/settings.md)
const SLIDERS = Object.freeze([
  { key: 'ClothP', min: 0, max: 2, step: 0.01, title: 'pressure' },
  { key: 'ClothC', min: 0, max: 20, step: 0.1, title: 'velocity damping' },
  { key: 'ClothK0', min: 0.05, max: 50, log: true, title: 'stiffness of a stretched spring' },
  { key: 'ClothK1', min: 0.05, max: 50, log: true, title: 'stiffness of a compressed spring' },
]);
const METHOD = 'ClothMethod';

const rangeTitle = (s) => `${s.min} … ${s.max}${s.log ? ' (logarithmic)' : ''}: the sensible range`;
const noteHtml = (key) =>
  `<span class="note"><span data-testid="${key}-note"></span><span class="typed"></span></span>`;

// the rows, made once: [{ setting, row }] with the method's row last ({ key, select })
export function makeSettings(app) {
  const rows = SLIDERS.map((setting) => ({ setting, row: sliderRow(app, setting) }));
  rows.push({ setting: { key: METHOD }, row: methodRow(app) });
  return rows;
}

function sliderRow(app, s) {
  const row = document.createElement('div');
  row.className = 'setting';
  const [min, max] = s.log ? [Math.log10(s.min), Math.log10(s.max)] : [s.min, s.max];
  row.innerHTML = `<span class="key" title="${s.title}">${s.key}</span>
    <input type="range" data-testid="${s.key}-slider" min="${min}" max="${max}" step="${s.log ? 0.01 : s.step}" title="${rangeTitle(s)}">
    <input type="text" data-testid="${s.key}-text" spellcheck="false" title="typed as you like: the plug-in judges the text; empty: the file's value">
    ${noteHtml(s.key)}`;
  $('settings').append(row);
  const [slider, text] = row.querySelectorAll('input');
  slider.addEventListener('input', () => {
    const v = s.log ? 10 ** Number(slider.value) : Number(slider.value);
    const separator = app.membranes.sides[0].scene.separator();
    text.value = s.log ? formatNumber(v, separator) : String(Number(v.toFixed(3))).replace('.', separator);
    change(app, (c) => (c.set[app.store.editing][s.key] = text.value), false);
  });
  slider.addEventListener('change', () => change(app, () => {}, true));
  text.addEventListener('change', () => change(app, (c) => setText(c, app.store.editing, s.key, text.value)));
  return row;
}

function methodRow(app) {
  const row = document.createElement('div');
  row.className = 'setting';
  row.innerHTML = `<span class="key" title="integrator">${METHOD}</span><select data-testid="${METHOD}"></select>
    ${noteHtml(METHOD)}`;
  $('settings').append(row);
  const select = row.querySelector('select');
  select.append(new Option('not typed here', ''));
  for (const [value, name] of app.options.methods) select.append(new Option(name, value));
  select.addEventListener('change', () => change(app, (c) => setText(c, app.store.editing, METHOD, select.value)));
  return row;
}

function setText(c, side, key, text) {
  if (text === '') delete c.set[side][key];
  else c.set[side][key] = text;
}

export function refreshSettings(app) {
  const here = app.membranes.sides[app.store.side()];
  // a side that never built has no verdicts yet: its fields stay as typed
  const lines = here.built ? here.scene.settings() : [];
  const typed = app.store.cfg.set[app.store.editing];
  const separator = app.membranes.sides[0].scene.separator();
  $('separator').textContent = `decimal separator '${separator}'`;
  $('separator').title =
    'The plug-in reads numbers with this separator; a number written with another one keeps the default (the verdict says so).';
  for (const { setting, row } of app.settingRows) {
    const line = lines.find((l) => l.key === setting.key) || { note: '', stored: '', text: '' };
    const error = here.setErrors[setting.key];
    const note = row.querySelector('[data-testid$="-note"]');
    note.textContent = error || line.note;
    note.parentElement.classList.toggle('rejected', !!error || (line.present && !line.accepted));
    row.querySelector('.typed').textContent = line.given ? ' — typed here' : '';
    if (setting.key === METHOD) refreshMethod(app, row.querySelector('select'), line, typed[setting.key]);
    else refreshSlider(setting, row, line, typed[setting.key]);
  }
}

// untyped, the method is the file's or the plug-in's default; typed, a
// value the list lacks stands in the first entry
function refreshMethod(app, select, line, typed) {
  const listed = typed !== undefined && app.options.methods.some((m) => m[0] === typed);
  select.value = listed ? typed : '';
  const from = typed !== undefined ? `typed: ${typed}` : line.present ? 'as the file says' : 'the default';
  select.options[0].text = line.stored === '' ? from : `${from} (${line.stored})`;
}

function refreshSlider(s, row, line, typed) {
  const [slider, text] = row.querySelectorAll('input');
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
