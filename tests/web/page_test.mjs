// The preview page against what a tuner ran into in a first hour: hostile
// links, scenes that never build, dropped files, fast clicks, pins per
// shape. One row per case: the address it opens, what it does and reads
// back, and what that must be; each case in a fresh page.
//   node tests/web/page_test.mjs --page build/web/tumelin-preview.html --mesh tests/data/mesh/cube_quads.obj
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';
import { launchChromium } from './chromium.mjs';

const { values: args } = parseArgs({ options: { page: { type: 'string' }, mesh: { type: 'string' } } });
const url = pathToFileURL(path.resolve(args.page)).href;
const obj = { name: 'cube.obj', mimeType: 'text/plain', buffer: fs.readFileSync(args.mesh) };
const ini = (mesh) => ({ name: 'drop.ini', mimeType: 'text/plain', buffer: Buffer.from(`[Membrane]\r\nMesh=${mesh}\r\nFlip=yes\r\n`) });

const frames = (p) => p.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
const text = (p, id) => p.getByTestId(id).textContent();
const status = (p) => text(p, 'status');
const drop = async (p, files) => {
  await p.getByTestId('file-input').setInputFiles(files);
  await p.waitForFunction(() => window.tumelin.config().file);
  await frames(p);
};
// what a scene that never builds leaves: words, Undo, Check, Save and a field to correct
const broken = (field) => async (p) => {
  await p.getByTestId('check').click();
  await p.getByTestId('save-ini').click();
  return [/before stays/.test(await status(p)), await p.getByTestId('undo').isEnabled(),
    /does not build/.test(await text(p, 'check-text')), /nothing saved/.test(await status(p)),
    await p.getByTestId(field).isVisible()];
};
const unbuilt = [false, true, true, true, true];
// every pinning a shape offers builds, or shows the field it needs
const pins = async (p) => {
  const faults = [];
  for (const pin of await p.getByTestId('pin').locator('option').allTextContents()) {
    await p.getByTestId('pin').selectOption(pin);
    await frames(p);
    const field = (await p.getByTestId('pin-text').isVisible()) || (await p.getByTestId('pin-below').isVisible());
    if (!field && (await p.getByTestId('status').getAttribute('class')).includes('error')) faults.push(pin);
  }
  return faults;
};
const copied = (p) => p.evaluate(() => {
  Object.defineProperty(navigator, 'clipboard', { value: { writeText: async (t) => (window.copiedLink = t) } });
  document.getElementById('copy-link').click();
  return new Promise((r) => setTimeout(() => r(window.copiedLink), 50));
});

const cases = [
  ...['constructor', '__proto__', 'toString', 'hasOwnProperty'].map((name) => [`link preset=${name}`, `preset=${name}`,
    async (p) => [(await status(p)).includes(`does not know: preset ${name}`), await p.evaluate(() => window.tumelin.scene().pointCount() > 0)], [true, true]]),
  ['link A.__proto__', 'A.__proto__=1', (p) => status(p).then((s) => s.includes('does not know: A.__proto__')), true],
  ...['columns=100000', 'radius=-2', 'steps=1e20'].map((hash) => [`never builds: ${hash}`, hash, broken(`size-${hash.split('=')[0]}`), unbuilt]),
  ['never builds: pinPoints', 'pin=points&pinPoints=99999999', broken('pin-text'), unbuilt],
  ['sizes typed one after the other', 'preset=tube', async (p) => {
    await p.getByTestId('size-columns').fill('21');
    await p.keyboard.press('Tab');
    await frames(p);
    await p.keyboard.type('9');
    await p.keyboard.press('Enter');
    return p.evaluate(() => [window.tumelin.config().opt.columns, window.tumelin.config().opt.rows]);
  }, ['21', '9']],
  ...['../tests/data/mesh/cube.obj', 'cube.obj', 'C:\\models\\cube.obj'].map((mesh) => [`INI dropped with its OBJ: ${mesh}`, '', async (p) => {
    await drop(p, [ini(mesh), obj]);
    return [(await status(p)).startsWith('built'), (await text(p, 'file-note')).startsWith('Using the dropped drop.ini, cube.obj')];
  }, [true, true]]),
  ['INI dropped with another OBJ', '', async (p) => {
    await drop(p, [ini('other.obj'), obj]);
    return (await p.locator('#file-note').textContent()).includes('Using');
  }, false],
  ...['sphere', 'torus', 'sheet', 'tube'].map((shape) => [`pins offered on a ${shape}`, `shape=${shape}`, pins, []]),
  ['no pin below on a sheet', 'shape=sheet', (p) => p.getByTestId('pin').locator('option[value=below]').count(), 0],
  ['Save and Copy right after typing', '', async (p) => {
    const download = p.waitForEvent('download');
    const link = await p.evaluate(() => {
      const t = document.querySelector('[data-testid=ClothC-text]');
      t.value = '3';
      t.dispatchEvent(new Event('change'));
      document.getElementById('save-ini').click();
    }).then(() => copied(p));
    const saved = fs.readFileSync(await (await download).path(), 'utf8');
    return [saved.includes('ClothC=3\r\n'), link.includes('A.ClothC=3')];
  }, [true, true]],
  ['a shape chosen over a mesh preset', 'preset=icosahedron', async (p) => {
    await p.getByTestId('shape').selectOption('sphere');
    await frames(p);
    return [(await status(p)).startsWith('built'), await p.evaluate(() => window.tumelin.scene().scenario().clockwise)];
  }, [true, true]],
  ['link of a dropped OBJ', '', async (p) => {
    await drop(p, [obj]);
    const link = await copied(p);
    const said = (await status(p)).includes('cannot carry the dropped cube.obj');
    await p.goto('about:blank');
    await p.goto(link);
    await p.evaluate(() => window.tumelin.ready);
    return [said, (await status(p)).includes('ran on the dropped cube.obj'), await p.evaluate(() => window.tumelin.config().opt)];
  }, [true, true, {}]],
  ['a warning both sides share', 'ab=1&A.ClothC=-1&B.ClothC=-1', async (p) => (await text(p, 'warnings')).includes('A and B: ClothC'), true],
  ['a typed value without a file', 'A.ClothP=1', (p) => text(p, 'ClothP-note'), 'taken'],
  ['ClothMethod 7 from a link', 'A.ClothMethod=7', (p) => p.getByTestId('ClothMethod').locator('option:checked').textContent(), 'typed: 7 (7)'],
  ['a line break in a value', 'A.ClothP=1%0A2', (p) => text(p, 'ClothP-note'), 'the value of ClothP cannot hold a line break'],
  ['a NUL in a value', 'A.ClothP=1%002', (p) => text(p, 'ClothP-note'), 'the value of ClothP cannot hold a NUL character'],
  ['status after a divergence', 'A.ClothC=-1000', async (p) => {
    await p.evaluate(() => window.tumelin.stepNow(50));
    return (await status(p)).startsWith('the run diverged');
  }, true],
  ['5 000 unknown keys', Array.from({ length: 5000 }, (_, i) => `k${i}=1`).join('&'), async (p) =>
    [(await status(p)).includes('k4 and 4995 more'), (await p.locator('header').boundingBox()).height < 40], [true, true]],
  ['K slider below its range', 'A.ClothK0=-1', (p) => p.getByTestId('ClothK0-slider').evaluate((s) => s.classList.contains('outside')), true],
];

const { context, close } = await launchChromium();
let failed = 0;
try {
  for (const [name, hash, act, want] of cases) {
    const p = await context.newPage();
    const errors = [];
    p.on('pageerror', (e) => errors.push(e.message));
    let got;
    try {
      await p.goto(`${url}#${hash}`);
      await p.evaluate(() => window.tumelin.ready);
      got = await act(p);
    } catch (e) {
      got = `threw: ${e.message.split('\n')[0]}`;
    }
    if (errors.length) got = { got, errors };
    const ok = JSON.stringify(got) === JSON.stringify(want);
    failed += ok ? 0 : 1;
    console.log(`  ${ok ? 'ok  ' : 'FAIL'} ${name}: ${JSON.stringify(got)}${ok ? '' : `, expected ${JSON.stringify(want)}`}`);
    await p.close();
  }
} finally {
  await close();
}
console.log(`page_test: ${cases.length - failed} of ${cases.length} cases passed`);
process.exitCode = failed ? 1 : 0;
