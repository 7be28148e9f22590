// Debian's Chromium, headless, as the preview's test and scripts start it:
// through playwright-core (no browser download), with a fresh profile that
// close() removes again.
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const CHROMIUM = '/usr/bin/chromium';
export const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// { context, close }; `viewport` in CSS pixels
export async function launchChromium(viewport = { width: 1280, height: 860 }) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tumelin-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, headless: true, args: CHROMIUM_ARGS, viewport,
  });
  const close = async () => {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return { context, close };
}

// the page in a new tab, started, after the script `init` if one is given;
// `errors` gathers what it throws from here on
export async function openPage(context, url, init) {
  const page = await context.newPage();
  if (init) await page.addInitScript(init);
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  await page.goto(url).then(() => page.evaluate(() => window.tumelin.ready));
  return { page, errors };
}

// one line for a check, "ok" or "FAIL" with what was expected; true when it holds
export function check(name, got, want) {
  const ok = JSON.stringify(got) === JSON.stringify(want);
  console.log(`  ${ok ? 'ok  ' : 'FAIL'} ${name}: ${JSON.stringify(got)}${ok ? '' : `, expected ${JSON.stringify(want)}`}`);
  return ok;
}
