// The preview page in Debian's chromium (through playwright-core, no browser
// download), against tumelin-host: a preset, the ClothP slider moved, "0,5"
// typed for ClothK0, N steps; then the page's hash against `run --hash`, the
// verdict beside ClothK0 against the `why` column of `settings`, and a
// screenshot of the membrane that must show its colours.
//
//   node tests/web/browser_test.mjs --page build/web/tumelin-preview.html --host build/native/tumelin-host \
//        --examples examples --out build/web/browser-test [--preset pillow] [--steps 300]
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';
import { check, launchChromium, openPage } from './chromium.mjs';

const names = ['page', 'host', 'examples', 'out', 'preset', 'steps'];
const { values: args } = parseArgs({ options: Object.fromEntries(names.map((n) => [n, { type: 'string' }])) });
const fail = (message) => {
  throw new Error(message);
};
const [host, out] = [path.resolve(args.host), path.resolve(args.out)];
const [preset, steps] = [args.preset ?? 'pillow', Number(args.steps ?? '300')];
const ini = path.resolve(args.examples, `${preset}.ini`);
const K0 = '0,5';
fs.mkdirSync(out, { recursive: true });

const { context, close } = await launchChromium();
try {
  const { page, errors } = await openPage(context, pathToFileURL(path.resolve(args.page)).href);
  const $ = (id) => page.getByTestId(id);
  await $('preset').selectOption(preset);
  // the slider moved by the keyboard, as a user does: input and change events
  await $('ClothP-slider').focus();
  for (let i = 0; i < 15; i++) await page.keyboard.press('ArrowRight');
  const clothP = await $('ClothP-text').inputValue();
  await $('ClothK0-text').fill(K0);
  await $('ClothK0-text').press('Enter');
  await $('pause').click();
  await $('reset').click();
  const done = await page.evaluate((n) => window.tumelin.stepNow(n), steps);
  const pageHash = await page.evaluate(() => window.tumelin.scene().hash());
  const verdict = await $('ClothK0-note').textContent();
  const typedMark = (await page.locator('[data-testid=ClothK0-note] + .typed').textContent()) !== '';
  const shot = path.join(out, 'preview.png');
  await $('view').screenshot({ path: shot });
  // the screenshot decoded by the page itself: pixels of the warm outside
  // colour and the number of distinct colours
  const picture = await page.evaluate(async (base64) => {
    const image = await createImageBitmap(await (await fetch(`data:image/png;base64,${base64}`)).blob());
    const c = new OffscreenCanvas(image.width, image.height).getContext('2d');
    c.drawImage(image, 0, 0);
    const d = c.getImageData(0, 0, image.width, image.height).data;
    let warm = 0;
    const colours = new Set();
    for (let i = 0; i < d.length; i += 4) {
      if (d[i] > d[i + 1] + 40 && d[i + 1] > d[i + 2]) warm++;
      colours.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
    }
    return { warmShare: warm / (d.length / 4), colours: colours.size };
  }, fs.readFileSync(shot).toString('base64'));

  const hostRun = (args) => execFileSync(host, args, { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
  const hostHash = hostRun(['run', '--ini', ini, '--set', `ClothP=${clothP}`, '--set', `ClothK0=${K0}`,
    '--steps', String(steps), '--hash']).match(/\b[0-9a-f]{16}\b/)?.[0];
  const settings = hostRun(['settings', '--ini', ini, '--set', `ClothK0=${K0}`]);
  const line = settings.split('\n').find((l) => l.startsWith('ClothK0 '));
  const why = line?.match(/^ClothK0\s+(?:"[^"]*"|\(none\))\s+\S+\s+(.*)$/)?.[1];
  if (why === undefined) fail(`no ClothK0 line in tumelin-host settings:\n${settings}`);
  const fromSet = why.endsWith(' (given by --set)');

  // each slider spans the sensible range the settings document (docs/, beside
  // examples/) gives its key
  const docs = fs.readFileSync(path.resolve(args.examples, '../docs/settings.md'), 'utf8');
  const range = (text) => text?.match(/(-?[\d.]+ … -?[\d.]+)/)?.[1];
  const ranges = [];
  for (const key of ['ClothP', 'ClothC', 'ClothK0', 'ClothK1']) {
    const row = docs.split('\n').find((l) => l.startsWith(`| \`${key}\` |`));
    const slider = range(await $(`${key}-slider`).getAttribute('title'));
    ranges.push([`${key} slider range`, slider, range(row?.split('|').at(-2))]);
  }

  const checks = [
    ...ranges,
    ['page errors', errors.join('; '), ''],
    ['ClothP text from the slider', /^\d+(\.\d+)?$/.test(clothP) && clothP !== '0.5', true],
    ['steps done', done, steps],
    ['hash after the steps', pageHash, hostHash],
    ['ClothK0 verdict', verdict, why.replace(/ \(given by --set\)$/, '')],
    ['ClothK0 marked as typed', typedMark, fromSet],
    ['screenshot: share of warm pixels above 2%', picture.warmShare > 0.02, true],
    ['screenshot: more than 50 colours', picture.colours > 50, true],
  ];
  console.log(`browser_test: ${preset}, ClothP=${clothP} (slider), ClothK0=${K0} (typed), ${steps} steps; ` +
    `screenshot ${shot}: ${(picture.warmShare * 100).toFixed(1)}% warm, ${picture.colours} colours`);
  const failed = checks.filter(([name, got, want]) => !check(name, got, want)).length;
  if (failed) fail(`${failed} of ${checks.length} checks failed`);
  console.log('browser_test: all checks passed');
} catch (e) {
  console.error(`browser_test: FAIL: ${e.message}`);
  process.exitCode = 1;
} finally {
  await close();
}
