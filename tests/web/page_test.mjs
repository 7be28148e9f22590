// The preview page against what a tuner met in a first hour: hostile links, scenes that never build, dropped
// files, fast clicks, pins per shape. A row per case, each in a fresh page: the address it opens, what it does
// and reads back (or the test id whose text it reads), and what that must be.
// What the page gives to take away is compared with tumelin-host's own output for the same scene and step.
//   node tests/web/page_test.mjs --page build/web/tumelin-preview.html --mesh tests/data/mesh/cube_quads.obj --host build/native/tumelin-host --examples examples
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';
import { check, launchChromium, openPage } from './chromium.mjs';

const { values: args } = parseArgs({ options: Object.fromEntries(['page', 'mesh', 'host', 'examples'].map((k) => [k, { type: 'string' }])) });
const url = pathToFileURL(path.resolve(args.page)).href;
const obj = { name: 'cube.obj', mimeType: 'text/plain', buffer: fs.readFileSync(args.mesh) };
const ini = (mesh) => ({ name: 'drop.ini', mimeType: 'text/plain', buffer: Buffer.from(`[Membrane]\r\nMesh=${mesh}\r\nFlip=yes\r\n`) });

const frames = (p) => p.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
const text = (p, id) => p.getByTestId(id).textContent();
const status = (p) => text(p, 'status');
const model = (p, f) => p.evaluate(f);
const pick = (p, id, value) => p.getByTestId(id).selectOption(value).then(() => frames(p));
const drop = (p, files) => p.getByTestId('file-input').setInputFiles(files)
  .then(() => p.waitForFunction(() => window.tumelin.config().file)).then(() => frames(p));
// a scene that never builds: not "the membrane before", Undo, Check and Save say so, a field to correct
const broken = (field) => async (p) => {
  for (const button of ['check', 'save-ini']) await p.getByTestId(button).click();
  return [/before stays/.test(await status(p)), await p.getByTestId('undo').isEnabled(),
    /does not build/.test(await text(p, 'check-text')), /nothing saved/.test(await status(p)), await p.getByTestId(field).isVisible()];
};
// the pinnings offered that neither build nor show the field they need
const failingPins = async (p) => {
  const faults = [];
  for (const pin of await p.getByTestId('pin').locator('option').allTextContents()) {
    await pick(p, 'pin', pin);
    const field = (await p.getByTestId('pin-text').isVisible()) || (await p.getByTestId('pin-below').isVisible());
    if (!field && /error/.test(await p.getByTestId('status').getAttribute('class'))) faults.push(pin);
  }
  return faults;
};
// what the page offers against the module's tables: each shape's fields and pinnings, the integrators, the keys a
// link may carry (all but the mesh: a link cannot carry a dropped file)
const tableFaults = async (p) => {
  const M = (name) => p.evaluate((n) => window.tumelin.module[n](), name);
  const [shapes, methods, keys, faults] = [await M('shapes'), await M('methodNames'), (await M('membraneOptions')).map((o) => o.key).filter((k) => k !== 'mesh'), []];
  for (const { name, sizes, pins } of shapes.filter((s) => s.name !== 'mesh')) {
    await pick(p, 'shape', name);
    const [fields, offered] = await Promise.all(['#sizes input', '#pin option'].map((at) => p.locator(at).evaluateAll((l) => l.map((e) => e.dataset.key ?? e.value))));
    if (JSON.stringify([fields, offered]) !== JSON.stringify([[...sizes, 'steps'], pins])) faults.push(name);
  }
  const listed = await p.getByTestId('ClothMethod').locator('option').allTextContents();
  if (JSON.stringify(listed.slice(1)) !== JSON.stringify(methods.map((m, i) => `${i} ${m}`))) faults.push('methods');
  await p.evaluate((k) => (location.hash = k.map((key) => `${key}=1`).join('&')), keys).then(() => frames(p));
  return /does not know/.test(await status(p)) ? [...faults, 'link keys'] : faults;
};
// a download's text, of the button clicked
const downloaded = async (p, id) => {
  const download = p.waitForEvent('download');
  await p.getByTestId(id).click();
  return fs.readFileSync(await (await download).path(), 'utf8');
};
// tumelin-host run of an example for `steps`: the hash it prints and the files it writes
const hostRun = (preset, steps) => {
  const out = fs.mkdtempSync(path.join(os.tmpdir(), 'tumelin-page-'));
  const printed = execFileSync(args.host, ['run', '--ini', path.join(args.examples, `${preset}.ini`), '--steps', String(steps), '--hash', '--out', out], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
  const [obj, csv] = ['surface.obj', 'figures.csv'].map((name) => fs.readFileSync(path.join(out, name), 'utf8'));
  fs.rmSync(out, { recursive: true, force: true });
  return { hash: /^hash (\w+)$/m.exec(printed)[1], obj, csv };
};
// the page gone to a step: what it shows and exports against the host's run of that many steps (the CSV's rows
// are the steps the page took figures at, each one the host's line for that step)
const takeAway = (preset, steps) => async (p) => {
  const host = hostRun(preset, steps);
  await p.evaluate((n) => window.tumelin.goTo(n), steps);
  const [shown, obj, csv, ini] = [await text(p, 'readout'), await downloaded(p, 'export-obj'), await downloaded(p, 'export-csv'), await downloaded(p, 'save-ini')];
  const hostLines = new Set(host.csv.split('\n'));
  return [shown === `step ${steps} · ${(steps * 0.005).toFixed(3)} s · hash ${host.hash}`, obj === host.obj,
    csv.split('\n')[0] === host.csv.split('\n')[0] && csv.split('\n').every((l) => hostLines.has(l)), ini.includes(`Steps=${steps}\r\n`)];
};
const noWebGl2 = () => ((get) => (HTMLCanvasElement.prototype.getContext = function (kind, ...rest) { return kind === 'webgl2' ? null : get.call(this, kind, ...rest); }))(HTMLCanvasElement.prototype.getContext);
const copyLink = (p) => p.evaluate(() => new Promise((r) => {
  Object.defineProperty(navigator, 'clipboard', { value: { writeText: async (t) => r(t) } });
  document.getElementById('copy-link').click();
}));

const cases = [
  ...['constructor', '__proto__', 'toString', 'hasOwnProperty'].map((name) => [`link preset=${name}`, `preset=${name}`, async (p) =>
    [(await status(p)).includes(`does not know: preset ${name}`), await model(p, () => window.tumelin.scene().pointCount() > 0)], [true, true]]),
  ['link A.__proto__', 'A.__proto__=1', async (p) => (await status(p)).includes('does not know: A.__proto__'), true],
  ...[['columns=100000', 'size-columns'], ['radius=-2', 'size-radius'], ['steps=1e20', 'size-steps'], ['pin=points&pinPoints=99999999', 'pin-text']]
    .map(([h, field]) => [`never builds: ${h}`, h, broken(field), [false, true, true, true, true]]),
  ['sizes typed one after the other', 'preset=tube', (p) => p.getByTestId('size-columns').fill('21').then(() => p.keyboard.press('Tab'))
    .then(() => frames(p)).then(() => p.keyboard.type('9')).then(() => p.keyboard.press('Enter'))
    .then(() => model(p, () => [window.tumelin.config().opt.columns, window.tumelin.config().opt.rows])), ['21', '9']],
  ...['../tests/data/mesh/cube.obj', 'cube.obj', 'C:\\models\\cube.obj', 'other.obj'].map((mesh) => [`INI dropped with cube.obj, naming ${mesh}`, '', (p) => drop(p, [ini(mesh), obj]).then(async () => [(await status(p)).startsWith('built'), (await text(p, 'file-note')).startsWith('Using the dropped drop.ini, cube.obj')]), mesh === 'other.obj' ? [false, false] : [true, true]]),
  ...['sphere', 'torus', 'sheet', 'tube'].map((shape) => [`pins offered on a ${shape}`, `shape=${shape}`, failingPins, []]),
  ['Save and Copy right after typing', '', async (p) => {
    const download = p.waitForEvent('download');
    await p.getByTestId('ClothC-text').evaluate((t) => ((t.value = '3'), t.dispatchEvent(new Event('change')), document.getElementById('save-ini').click()));
    const link = await copyLink(p);
    return [fs.readFileSync(await (await download).path(), 'utf8').includes('ClothC=3\r\n'), link.includes('A.ClothC=3')];
  }, [true, true]],
  ['a shape chosen over a mesh preset', 'preset=icosahedron', (p) => pick(p, 'shape', 'sphere').then(async () =>
    [(await status(p)).startsWith('built'), await model(p, () => window.tumelin.scene().scenario().clockwise)]), [true, true]],
  ['link of a dropped OBJ', '', async (p) => {
    const link = await drop(p, [obj]).then(() => copyLink(p));
    const said = (await status(p)).includes('cannot carry the dropped cube.obj');
    await p.goto('about:blank').then(() => p.goto(link)).then(() => model(p, () => window.tumelin.ready));
    return [said, (await status(p)).includes('ran on the dropped cube.obj'), await model(p, () => window.tumelin.config().opt)];
  }, [true, true, {}]],
  ['a warning both sides share', 'ab=1&A.ClothC=-1&B.ClothC=-1', async (p) => (await text(p, 'warnings')).includes('A and B: ClothC'), true],
  ['a typed value without a file', 'A.ClothP=1', 'ClothP-note', 'taken'],
  ['ClothMethod 7 from a link', 'A.ClothMethod=7', (p) => p.getByTestId('ClothMethod').locator('option:checked').textContent(), 'typed: 7 (7)'],
  ...[['%0A', 'a line break'], ['%00', 'a NUL character']].map(([c, what]) => [`${what} in a value`, `A.ClothP=1${c}2`, 'ClothP-note', `the value of ClothP cannot hold ${what}`]),
  ['status after a divergence', 'A.ClothC=-1000', (p) => model(p, () => window.tumelin.stepNow(50)).then(() => status(p)).then((s) => s.startsWith('the run diverged')), true],
  ['5 000 unknown keys', Array.from({ length: 5000 }, (_, i) => `k${i}=1`).join('&'), async (p) =>
    [(await status(p)).includes('k4 and 4995 more'), (await p.locator('header').boundingBox()).height < 40], [true, true]],
  ['what the page offers is the C++ tables\'', '', tableFaults, []],
  ...[['pillow', 37], ['icosahedron', 12]].map(([preset, steps]) => [`${preset} at step ${steps}: hash, OBJ, CSV, INI as the host's`, `preset=${preset}`, takeAway(preset, steps), [true, true, true, true]]),
  ['a run stops at Steps=, Play runs on past it', 'preset=pillow&steps=20', async (p) => {
    await p.waitForFunction(() => /stopped at step 20/.test(document.getElementById('status').textContent));
    const stopped = await text(p, 'readout');
    await p.getByTestId('play').click().then(() => p.waitForFunction(() => window.tumelin.scene().steps() > 20));
    return stopped.startsWith('step 20 ');
  }, true],
  ...[['.', false], [',', true]].map(([separator, taken]) => [`ClothK0=0,5 on a host with '${separator}'`, 'A.ClothK0=0,5', async (p) => {
    await pick(p, 'host-separator', separator);
    return [/^taken/.test(await text(p, 'ClothK0-note')), (await text(p, 'warnings')).includes('ClothK0'), await text(p, 'separator')];
  }, [taken, !taken, `decimal separator '${separator}'`]]),
  ['no WebGL 2: the page starts, says why, and works', 'A.ClothC=-1', async (p) => {
    const built = await p.getByTestId('check').click().then(() => status(p));
    const [saved, obj] = [await downloaded(p, 'save-ini'), await p.evaluate(() => window.tumelin.goTo(3)).then(() => downloaded(p, 'export-obj'))];
    return [(await text(p, 'no-picture')).startsWith('No picture'), built.startsWith('built'), (await text(p, 'check-text')).length > 0,
      saved.includes('ClothC=-1'), obj.startsWith('# tumelin-host:'), (await text(p, 'warnings')).includes('ClothC'), await text(p, 'readout').then((r) => r.startsWith('step 3 '))];
  }, [true, true, true, true, true, true, true], noWebGl2],
  ...['strain', 'speed', 'pressure'].map((map) => [`the ${map} map recolours the picture, plain brings it back`, 'preset=pillow', async (p) => {
    await model(p, () => (window.tumelin.pause(), window.tumelin.stepNow(40)));
    // the picture inside its rounded border once the layout around it has settled: two shots alike
    const shot = async () => {
      let last = null;
      for (let i = 0; i < 10; i++) {
        const { x, y, width, height } = await frames(p).then(() => p.getByTestId('view').boundingBox());
        const now = await p.screenshot({ clip: { x: x + 8, y: y + 8, width: width - 16, height: height - 16 } });
        if (last?.equals(now)) return now;
        last = now;
      }
      return last;
    };
    const [plain, mapped] = [await shot(), await pick(p, 'colour-map', map).then(() => shot())];
    const range = Number(await text(p, 'legend-high'));
    const back = await pick(p, 'colour-map', 'plain').then(() => shot());
    // the plot's right scale switched to the stretch and compression or to the kinetic energy
    const plotted = () => p.waitForTimeout(250).then(() => p.getByTestId('plot').screenshot());
    const speedPlot = await plotted();
    const otherPlot = await pick(p, 'plot-right', map === 'strain' ? 'strain' : 'energy').then(plotted);
    return [mapped.equals(plain), range > 0, await p.getByTestId('legend').isHidden(), back.equals(plain), otherPlot.equals(speedPlot)];
  }, [false, true, true, true, false]]),
  ['K slider below its range', 'A.ClothK0=-1', (p) => p.getByTestId('ClothK0-slider').evaluate((s) => s.classList.contains('outside')), true],
];

const { context, close } = await launchChromium();
let failed = 0;
for (const [name, hash, act, want, init] of cases) {
  const got = await openPage(context, `${url}#${hash}`, init).then(async ({ page: p, errors }) => {
    const seen = await (typeof act === 'string' ? text(p, act) : act(p));
    await p.close();
    return errors.length ? [seen, errors] : seen;
  }).catch((e) => `threw: ${e.message.split('\n')[0]}`);
  failed += check(name, got, want) ? 0 : 1;
}
await close();
console.log(`page_test: ${cases.length - failed} of ${cases.length} cases passed`);
process.exitCode = failed ? 1 : 0;
