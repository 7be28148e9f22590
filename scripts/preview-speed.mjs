// The preview page's speed in headless Debian chromium (software WebGL, as
// --disable-gpu gives): per case the frames and steps per second while it
// plays, the plug-in entry's own rate and where a frame's time goes on the
// page (module step, upload to WebGL, figures for the plot, draw calls, plot).
//
//   node scripts/preview-speed.mjs [--page build/web/tumelin-preview.html] [--seconds 4]
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { launchChromium } from '../tests/web/chromium.mjs';

const arg = (name, fallback) => {
  const at = process.argv.indexOf(`--${name}`);
  return at > 0 ? process.argv[at + 1] : fallback;
};
const page_ = path.resolve(arg('page', 'build/web/tumelin-preview.html'));
const seconds = Number(arg('seconds', '4'));
const CASES = [
  { name: 'sphere 129x65, 10 steps/frame', hash: 'shape=sphere&columns=129&rows=65', perFrame: '10', goalFps: 60 },
  { name: 'sphere 257x257, 1 step/frame', hash: 'shape=sphere&columns=257&rows=257', perFrame: '1', goalFps: 30 },
];

const { context, close } = await launchChromium({ width: 1280, height: 860 });
try {
  for (const c of CASES) {
    const page = await context.newPage();
    await page.goto(`${pathToFileURL(page_).href}#${c.hash}`);
    await page.evaluate(() => window.tumelin.ready);
    await page.getByTestId('steps-per-frame').selectOption(c.perFrame);
    await page.waitForTimeout(1000); // settle
    const samples = [];
    for (let s = 0; s < seconds; s++) {
      await page.waitForTimeout(1000);
      samples.push(await page.evaluate(() => JSON.parse(JSON.stringify(window.tumelin.stats))));
    }
    const mean = (f) => samples.reduce((sum, x) => sum + f(x), 0) / samples.length;
    const per = Object.keys(samples[0].perFrame).map((k) => `${k} ${mean((x) => x.perFrame[k]).toFixed(2)}`).join(', ');
    const fps = mean((x) => x.framesPerSecond);
    // the same page drawing each frame without stepping: what the drawing alone allows
    const drawOnly = await page.evaluate(
      () => new Promise((done) => {
        window.tumelin.pause();
        let frames = 0;
        const start = performance.now();
        const tick = () => {
          window.tumelin.stepNow(0);
          if (++frames, performance.now() - start < 2000) requestAnimationFrame(tick);
          else done((frames * 1000) / (performance.now() - start));
        };
        requestAnimationFrame(tick);
      }));
    console.log(`${c.name}: ${fps.toFixed(1)} frames/s (goal ${c.goalFps}), ${mean((x) => x.stepsPerSecond).toFixed(0)} steps/s, ` +
      `plug-in entry ${mean((x) => x.pluginStepsPerSecond).toFixed(0)} steps/s; ms per frame: ${per}; ` +
      `drawing alone ${drawOnly.toFixed(1)} frames/s`);
    await page.close();
  }
} finally {
  await close();
}
