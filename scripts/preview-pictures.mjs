// The preview page's pictures for the documentation: docs/pictures/preview.png
// (the pillow preset with A/B on, B at a higher pressure, after a few hundred
// steps) and docs/pictures/preview.gif (the membrane view while the pillow
// inflates), taken in headless Debian chromium; the GIF is put together by
// ImageMagick's convert.
//
//   node scripts/preview-pictures.mjs [--page build/web/tumelin-preview.html] [--out docs/pictures]
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launchChromium } from '../tests/web/chromium.mjs';

const arg = (name, fallback) => {
  const at = process.argv.indexOf(`--${name}`);
  return at > 0 ? process.argv[at + 1] : fallback;
};
const pageUrl = pathToFileURL(path.resolve(arg('page', 'build/web/tumelin-preview.html'))).href;
const out = path.resolve(arg('out', 'docs/pictures'));
const frames = fs.mkdtempSync(path.join(os.tmpdir(), 'tumelin-frames-'));
const { context, close } = await launchChromium({ width: 1280, height: 800 });
try {
  const page = context.pages()[0] || (await context.newPage());
  // the screenshot: A/B playing at 10 steps a frame for a few seconds, then paused
  await page.goto(`${pageUrl}#preset=pillow&B.ClothP=1.5&ab=1`);
  await page.evaluate(() => window.tumelin.ready);
  await page.getByTestId('steps-per-frame').selectOption('10');
  await page.waitForTimeout(3500);
  await page.evaluate(() => window.tumelin.pause());
  await page.waitForTimeout(300);
  fs.mkdirSync(out, { recursive: true });
  await page.screenshot({ path: path.join(out, 'preview.png') });

  // the animation: the view alone, 40 frames of 25 steps each from step 0
  await page.goto(`${pageUrl}#preset=pillow`);
  await page.reload();
  await page.evaluate(() => window.tumelin.ready);
  await page.evaluate(() => window.tumelin.pause());
  await page.getByTestId('reset').click();
  const view = page.getByTestId('view');
  const names = [];
  for (let i = 0; i < 40; i++) {
    await page.evaluate(() => window.tumelin.stepNow(25));
    const name = path.join(frames, `frame${String(i).padStart(3, '0')}.png`);
    await view.screenshot({ path: name });
    names.push(name);
  }
  execFileSync('convert', ['-delay', '8', '-loop', '0', ...names, '-resize', '420x', '-layers', 'Optimize',
    '-colors', '96', path.join(out, 'preview.gif')]);
  console.log(`preview-pictures: wrote ${path.join(out, 'preview.png')} and ${path.join(out, 'preview.gif')}`);
} finally {
  await close();
  fs.rmSync(frames, { recursive: true, force: true });
}
